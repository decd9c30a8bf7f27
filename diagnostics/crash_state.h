// CrashState: the process-wide phase value that every crash report carries,
// so that a report tells in which phase of the patch run the launcher failed.
#pragma once

#include <cstdint>

namespace velmora {

enum CrashStateValue : std::int32_t {
  LAUNCHER_STARTUP = 0,
  LOADING_INFO_FILE = 1,
  LOADING_MANIFEST = 2,
  FILE_INTEGRITY = 3,
  DOWNLOADING_NEW_FILES = 4,
  // 5 has no name of its own and is reported as "UNKNOWN".
  PATCHING_SNAP_FILE = 6,
  LAUNCHING_GAME = 7,
  REMOVING_FILES = 8,
  READING_REGISTRY = 9,
  WRITING_REGISTRY = 10,
  CHECK_DRIVE_SPACE = 11,
  FINISHED = 12,
};

// Written by the patch run's thread, read by the crash callback: a single
// aligned 32-bit value is enough. Starts at LAUNCHER_STARTUP, never reset.
void SetCrashState(std::int32_t state);
std::int32_t GetCrashState();

// The report name of a value: the table's names, "UNKNOWN" for 5 and for
// every value outside 0..12.
const char* CrashStateName(std::int32_t state);

}  // namespace velmora
