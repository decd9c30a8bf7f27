// Helpers shared by every test program: throw-away folders, environment
// overrides and the paths of the built programs.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace velmora::testing {

// A fresh folder under the system temporary folder, removed with everything
// in it when the object goes away.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Sets (or removes) environment variables for its lifetime, then restores them.
class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  void Set(const std::string& name, const std::optional<std::string>& value);

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// Redirects the registry store, the named-object folder and the
// application-data folder into one throw-away folder for the test's lifetime.
class IsolatedSystem {
 public:
  IsolatedSystem();
  const std::filesystem::path& root() const { return temp_.path(); }
  ScopedEnvironment& environment() { return env_; }

 private:
  ScopedTempDir temp_;
  ScopedEnvironment env_;
};

// Folder of the built programs and libraries (build/<preset>/bin).
std::filesystem::path BinaryFolder();
// A program of the build, with the platform's executable suffix.
std::filesystem::path ProgramPath(const std::string& name);
// A shared library of the build, with the platform's prefix and suffix.
std::filesystem::path SharedLibraryPath(const std::string& name);
// The source tree (for fixtures).
std::filesystem::path SourceFolder();

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace velmora::testing
