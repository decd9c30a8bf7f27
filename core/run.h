// Run: the whole life of the launcher inside the core library. The exported
// entry point (vostrel_entry.cpp) calls RunLauncher.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// LauncherResult: -1 still running (never returned), 0 closed or nothing run,
// 1 the game was started, 2 a new launcher is staged.
using LauncherResult = std::int32_t;

inline constexpr const char* kLauncherMutexName = "Global\\Velmora Launcher";
inline constexpr const char* kGameMutexName = "Global\\Velmora";

// Start-up, the launcher's run and shutdown, in order; returns the result.
LauncherResult RunLauncher();

// The options of the process command line: "-d" sets the no-self-update flag,
// "-e <name>" names the patch environment (also stored in "Manifest\env").
// Compared without regard to case; an "-e" with nothing after it is ignored.
struct CoreOptions {
  bool no_self_update = false;
  bool has_environment = false;
  std::string environment;  // UTF-8, at most 255 bytes, cut at a character boundary
};
CoreOptions ParseCoreOptions(const std::vector<std::u16string>& arguments);

}  // namespace velmora
