#include "foundation/os/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include "foundation/os/environment.h"

namespace velmora::os {

namespace fs = std::filesystem;

bool PathExists(const fs::path& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const fs::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const fs::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::uint64_t> GetFileSize(const fs::path& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool DeleteFileAt(const fs::path& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  // A file without write permission is still removable on POSIX (the
  // folder's permission decides), which matches clearing read-only first.
  return ::unlink(path.c_str()) == 0;
}

bool ScheduleDeleteAtRestart(const fs::path&) {
  // POSIX has no restart-time deletion; callers keep their own retries.
  return false;
}

bool CreateFolder(const fs::path& path) {
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  return IsDirectory(path);
}

fs::path GetCurrentFolder() {
  std::error_code ec;
  return fs::current_path(ec);
}

bool GetRoamingAppDataFolder(fs::path* folder) {
  // Tests point the folder elsewhere, or ("none") take it away.
  if (auto dir = GetEnvironmentValue("VELMORA_APPDATA_DIR"); dir && !dir->empty()) {
    if (*dir == "none") return false;
    *folder = *dir;
    return true;
  }
  if (auto data = GetEnvironmentValue("XDG_DATA_HOME"); data && !data->empty() &&
                                                          fs::path(*data).is_absolute()) {
    *folder = *data;
    return true;
  }
  if (auto home = GetEnvironmentValue("HOME"); home && !home->empty()) {
    *folder = fs::path(*home) / ".local" / "share";
    return true;
  }
  return false;
}

fs::path GetTempFolder() {
  if (auto tmp = GetEnvironmentValue("TMPDIR"); tmp && !tmp->empty()) return *tmp;
  return "/tmp";
}

}  // namespace velmora::os
