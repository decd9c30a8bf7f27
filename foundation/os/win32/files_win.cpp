#include "foundation/os/files.h"

#include "foundation/os/environment.h"
#include "foundation/os/win32/win_util.h"

// After windows.h, which it needs.
#include <shlobj.h>

namespace velmora::os {

namespace fs = std::filesystem;

bool PathExists(const fs::path& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsRegularFile(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::uint64_t> GetFileSize(const fs::path& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::nullopt;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool DeleteFileAt(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  return DeleteFileW(path.c_str()) != 0;
}

bool ScheduleDeleteAtRestart(const fs::path& path) {
  return MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

bool CreateFolder(const fs::path& path) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  return IsDirectory(path);
}

fs::path GetCurrentFolder() {
  wchar_t buffer[MAX_PATH * 4];
  const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(std::size(buffer)), buffer);
  return fs::path(std::wstring(buffer, length));
}

bool GetRoamingAppDataFolder(fs::path* folder) {
  // Tests point the folder elsewhere, or ("none") take it away.
  if (auto dir = GetEnvironmentValue("VELMORA_APPDATA_DIR"); dir && !dir->empty()) {
    if (*dir == "none") return false;
    *folder = fs::path(win::Wide(*dir));
    return true;
  }
  wchar_t buffer[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer)))
    return false;
  *folder = fs::path(buffer);
  return true;
}

fs::path GetTempFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(static_cast<DWORD>(std::size(buffer)), buffer);
  return fs::path(std::wstring(buffer, length));
}

}  // namespace velmora::os
