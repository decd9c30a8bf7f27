#include "core/launcher_globals.h"

namespace velmora {
namespace {

// Set on the main thread before any other thread starts, then only read.
std::string& VersionValue() {
  static std::string value = kLauncherVersion;
  return value;
}
std::string& EnvironmentValue() {
  static std::string value = "prod-info";
  return value;
}
bool g_no_self_update = false;

}  // namespace

const std::string& LauncherVersion() { return VersionValue(); }
void SetLauncherVersion(const std::string& version) { VersionValue() = version; }
const std::string& PatchEnvironmentName() { return EnvironmentValue(); }
void SetPatchEnvironmentName(const std::string& name) { EnvironmentValue() = name.substr(0, 255); }
bool NoSelfUpdate() { return g_no_self_update; }
void SetNoSelfUpdate(bool value) { g_no_self_update = value; }

}  // namespace velmora
