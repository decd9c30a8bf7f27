// Listing one folder level and removing folder entries, as the patcher's scan
// and tree deletion need them.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace velmora::os {

enum class FolderItemKind {
  kFile,          // a file, or a link to a file, or a link that leads nowhere
  kFolder,        // a real folder
  kLinkToFolder,  // a symbolic link or junction (reparse point) to a folder
};

struct FolderItem {
  std::filesystem::path name;  // the item's own name, without its folder
  FolderItemKind kind = FolderItemKind::kFile;
};

// Calls `visit` for every item of `folder` except "." and "..", in the order
// the file system returns them (Windows: FindFirstFileW with the pattern "*";
// POSIX: readdir). `visit` returns false to end the listing early. Returns
// false when the folder cannot be listed (missing, not a folder, no access);
// an early end by `visit` is still true.
//
// Links are reported as kLinkToFolder rather than kFolder so that callers
// never walk or delete through them into a tree that is not theirs.
[[nodiscard]] bool ListFolder(const std::filesystem::path& folder,
                              const std::function<bool(const FolderItem&)>& visit);

// Removes an empty folder (RemoveDirectoryW / rmdir).
[[nodiscard]] bool RemoveEmptyFolder(const std::filesystem::path& folder);

// Removes a link to a folder itself, never what it points to (Windows: a
// junction or directory symlink with RemoveDirectoryW; POSIX: unlink).
[[nodiscard]] bool RemoveFolderLink(const std::filesystem::path& link);

}  // namespace velmora::os
