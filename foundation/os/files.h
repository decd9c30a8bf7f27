// Files and folders, as the launcher uses them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace velmora::os {

bool PathExists(const std::filesystem::path& path);
bool IsDirectory(const std::filesystem::path& path);
bool IsRegularFile(const std::filesystem::path& path);
// Size of a regular file; nothing when it is missing or not a regular file.
std::optional<std::uint64_t> GetFileSize(const std::filesystem::path& path);

// Deletes one file (never a folder). Clears a read-only attribute first.
[[nodiscard]] bool DeleteFileAt(const std::filesystem::path& path);

// Registers the file for deletion when the machine restarts
// (MOVEFILE_DELAY_UNTIL_REBOOT). POSIX has no such facility: returns false,
// and callers rely on their own retries.
[[nodiscard]] bool ScheduleDeleteAtRestart(const std::filesystem::path& path);

// Creates one folder level; true when it exists afterwards.
[[nodiscard]] bool CreateFolder(const std::filesystem::path& path);

std::filesystem::path GetCurrentFolder();

// The roaming per-user application-data folder. Windows: SHGetFolderPathW
// with CSIDL_APPDATA (current path). POSIX: $XDG_DATA_HOME, by default
// ~/.local/share. Returns false when there is none. Tests move it with the
// environment variable VELMORA_APPDATA_DIR (on both targets); the value
// "none" makes the system name no folder.
[[nodiscard]] bool GetRoamingAppDataFolder(std::filesystem::path* folder);

// The folder for temporary files (GetTempPathW / $TMPDIR, default /tmp).
std::filesystem::path GetTempFolder();

}  // namespace velmora::os
