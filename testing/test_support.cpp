#include "testing/test_support.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "foundation/os/environment.h"
#include "foundation/os/files.h"
#include "foundation/os/process.h"

namespace velmora::testing {

ScopedTempDir::ScopedTempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    std::ostringstream name;
    name << "velmora-test-" << rd() << "-" << (stamp & 0xffffff) << "-" << counter++;
    path_ = os::GetTempFolder() / name.str();
    std::error_code ec;
    if (std::filesystem::create_directories(path_, ec)) break;
  }
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

ScopedEnvironment::~ScopedEnvironment() {
  for (const auto& [name, value] : saved_) os::SetEnvironmentValue(name, value);
}

void ScopedEnvironment::Set(const std::string& name, const std::optional<std::string>& value) {
  if (!saved_.count(name)) saved_[name] = os::GetEnvironmentValue(name);
  os::SetEnvironmentValue(name, value);
}

IsolatedSystem::IsolatedSystem() {
  for (const char* sub : {"registry", "runtime", "appdata", "config"})
    std::filesystem::create_directories(temp_.path() / sub);
  env_.Set("VELMORA_REGISTRY_DIR", (temp_.path() / "registry").string());
  env_.Set("VELMORA_RUNTIME_DIR", (temp_.path() / "runtime").string());
  env_.Set("XDG_DATA_HOME", (temp_.path() / "appdata").string());
  env_.Set("VELMORA_APPDATA_DIR", (temp_.path() / "appdata").string());
  env_.Set("XDG_CONFIG_HOME", (temp_.path() / "config").string());
}

std::filesystem::path BinaryFolder() {
  if (auto dir = os::GetEnvironmentValue("VELMORA_BIN_DIR")) return *dir;
  return os::GetExecutablePath().parent_path();
}

std::filesystem::path ProgramPath(const std::string& name) {
  return BinaryFolder() / (name + VELMORA_EXE_SUFFIX);
}

std::filesystem::path SharedLibraryPath(const std::string& name) {
  return BinaryFolder() / (std::string(VELMORA_SHLIB_PREFIX) + name + VELMORA_SHLIB_SUFFIX);
}

std::filesystem::path SourceFolder() {
  if (auto dir = os::GetEnvironmentValue("VELMORA_SOURCE_DIR")) return *dir;
  return VELMORA_SOURCE_DIR_DEFAULT;
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace velmora::testing
