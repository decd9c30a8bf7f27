#include "diagnostics/crash_state.h"

#include <atomic>

namespace velmora {
namespace {

std::atomic<std::int32_t> g_crash_state{LAUNCHER_STARTUP};

constexpr const char* kNames[] = {
    "LAUNCHER_STARTUP", "LOADING_INFO_FILE", "LOADING_MANIFEST",  "FILE_INTEGRITY",
    "DOWNLOADING_NEW_FILES", "UNKNOWN",       "PATCHING_SNAP_FILE", "LAUNCHING_GAME",
    "REMOVING_FILES",   "READING_REGISTRY",  "WRITING_REGISTRY",  "CHECK_DRIVE_SPACE",
    "FINISHED",
};

}  // namespace

void SetCrashState(std::int32_t state) { g_crash_state.store(state, std::memory_order_relaxed); }

std::int32_t GetCrashState() { return g_crash_state.load(std::memory_order_relaxed); }

const char* CrashStateName(std::int32_t state) {
  if (state < 0 || state >= static_cast<std::int32_t>(std::size(kNames))) return "UNKNOWN";
  return kNames[state];
}

}  // namespace velmora
