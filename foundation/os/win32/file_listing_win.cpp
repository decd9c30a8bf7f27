#include "foundation/os/file_listing.h"

#include <windows.h>

namespace velmora::os {

bool ListFolder(const std::filesystem::path& folder,
                const std::function<bool(const FolderItem&)>& visit) {
  std::wstring pattern = folder.native();
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderItem item;
    item.name = name;
    const bool folder_bit = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool reparse = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (folder_bit)
      item.kind = reparse ? FolderItemKind::kLinkToFolder : FolderItemKind::kFolder;
    else
      item.kind = FolderItemKind::kFile;
    if (!visit(item)) break;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return true;
}

bool RemoveEmptyFolder(const std::filesystem::path& folder) {
  return RemoveDirectoryW(folder.c_str()) != 0;
}

bool RemoveFolderLink(const std::filesystem::path& link) {
  const DWORD attributes = GetFileAttributesW(link.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return false;
  // A junction or directory link goes with RemoveDirectoryW, which removes
  // the link and leaves its target alone.
  return RemoveDirectoryW(link.c_str()) != 0;
}

}  // namespace velmora::os
