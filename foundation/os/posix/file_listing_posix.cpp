#include "foundation/os/file_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace velmora::os {

bool ListFolder(const std::filesystem::path& folder,
                const std::function<bool(const FolderItem&)>& visit) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return false;
  const int dir_fd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    FolderItem item;
    item.name = entry->d_name;
    struct stat own;
    if (::fstatat(dir_fd, entry->d_name, &own, AT_SYMLINK_NOFOLLOW) != 0) {
      item.kind = FolderItemKind::kFile;  // vanished meanwhile; callers cope
    } else if (S_ISDIR(own.st_mode)) {
      item.kind = FolderItemKind::kFolder;
    } else if (S_ISLNK(own.st_mode)) {
      struct stat target;
      const bool to_folder = ::fstatat(dir_fd, entry->d_name, &target, 0) == 0 &&
                             S_ISDIR(target.st_mode);
      item.kind = to_folder ? FolderItemKind::kLinkToFolder : FolderItemKind::kFile;
    } else {
      item.kind = FolderItemKind::kFile;
    }
    if (!visit(item)) break;
  }
  ::closedir(dir);
  return true;
}

bool RemoveEmptyFolder(const std::filesystem::path& folder) {
  return ::rmdir(folder.c_str()) == 0;
}

bool RemoveFolderLink(const std::filesystem::path& link) {
  struct stat own;
  if (::lstat(link.c_str(), &own) != 0 || !S_ISLNK(own.st_mode)) return false;
  return ::unlink(link.c_str()) == 0;
}

}  // namespace velmora::os
