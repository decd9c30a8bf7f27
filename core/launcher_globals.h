// Process-wide values that Run sets once, before any other thread starts,
// and other components read.
#pragma once

#include <string>

namespace velmora {

// "1.0.2.822392": reported by telemetry and given to the crash reporter.
inline constexpr const char* kLauncherVersion = "1.0.2.822392";

const std::string& LauncherVersion();
void SetLauncherVersion(const std::string& version);

// The patch environment name ("prod-info" unless the registry or "-e" says
// otherwise), at most 255 bytes.
const std::string& PatchEnvironmentName();
void SetPatchEnvironmentName(const std::string& name);

// Set by the option "-d": the patcher's self-update state ends the run with 0
// instead of 2.
bool NoSelfUpdate();
void SetNoSelfUpdate(bool value);

}  // namespace velmora
