#include "patcher/file_actions.h"

#include <chrono>
#include <thread>

#include "core/launcher_log.h"
#include "foundation/os/file_io.h"
#include "foundation/os/file_listing.h"
#include "foundation/os/files.h"
#include "patcher/entry_name.h"
#include "patcher/install_record.h"

namespace velmora::patcher {
namespace {

// Gives the system time to let go of entries just deleted in the folder
// before the folder itself goes.
constexpr auto kFolderRemovalPause = std::chrono::milliseconds(100);

void AppendNative(std::u16string_view text, std::u16string* out) {
  const char16_t separator = os::NativePathSeparator();
  for (char16_t u : text) out->push_back(IsNameSeparator(u) ? separator : u);
}

bool IsFolder(std::u16string_view path) { return os::IsDirectory(os::FilePathFromUtf16(path)); }

bool DeleteTreeOfFolder(std::u16string_view folder) {
  if (folder.empty() || folder.size() >= kFilePathCapacity - 1) return false;
  // A folder that is itself a link is removed as a link: listing through it
  // would delete a tree that is not ours.
  std::u16string_view own = folder;
  while (own.size() > 1 && IsNameSeparator(own.back())) own.remove_suffix(1);
  if (os::RemoveFolderLink(os::FilePathFromUtf16(own))) return !IsFolder(folder);

  std::u16string base(folder);
  if (!IsNameSeparator(base.back())) base.push_back(os::NativePathSeparator());

  bool failed = false;
  const bool listed = os::ListFolder(os::FilePathFromUtf16(base), [&](const os::FolderItem& item) {
    const std::u16string name = os::Utf16FromFilePath(item.name);
    if (base.size() + name.size() >= kFilePathCapacity - 1) {
      failed = true;  // cannot be named within the buffer: left, and the folder with it
      return true;
    }
    const std::u16string path = base + name;
    const auto native = os::FilePathFromUtf16(path);
    switch (item.kind) {
      case os::FolderItemKind::kFolder:
        if (!DeleteTreeOfFolder(path)) failed = true;
        break;
      case os::FolderItemKind::kLinkToFolder:
        // Only the link is ours; what it points to is not.
        if (!os::RemoveFolderLink(native)) failed = true;
        break;
      case os::FolderItemKind::kFile:
        (void)os::SetFileAttributesNormal(native);
        if (!os::DeleteFileAt(native)) failed = true;
        break;
    }
    return true;
  });
  if (!listed || !failed) {
    std::this_thread::sleep_for(kFolderRemovalPause);
    (void)os::RemoveEmptyFolder(os::FilePathFromUtf16(folder));
  }
  return !IsFolder(folder);
}

}  // namespace

std::size_t JoinPath(std::u16string_view name, std::u16string_view base, std::size_t capacity,
                     std::u16string* out) {
  std::u16string result;
  AppendNative(base, &result);
  if (!result.empty() && result.back() != os::NativePathSeparator())
    result.push_back(os::NativePathSeparator());
  while (!name.empty() && IsNameSeparator(name.front())) name.remove_prefix(1);
  AppendNative(name, &result);
  if (result.size() + 1 > capacity) {
    out->clear();
    return 0;
  }
  *out = std::move(result);
  return out->size();
}

std::size_t AppendPath(std::u16string_view name, std::u16string* path, std::size_t capacity) {
  const std::u16string base = *path;
  return JoinPath(name, base, capacity, path);
}

bool StartsWithIgnoringCase(std::u16string_view prefix, std::u16string_view text) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (LowerCaseUnit(prefix[i]) != LowerCaseUnit(text[i])) return false;
  return true;
}

bool CreateFolders(std::u16string_view path) {
  if (path.empty()) return false;
  const std::u16string canonical =
      os::Utf16FromFilePath(os::FilePathFromUtf16(path).lexically_normal());
  if (canonical.empty() || canonical.size() >= kFilePathCapacity) return false;
  if (IsFolder(canonical)) return true;

  std::size_t i = 0;
  while (i < canonical.size() && IsNameSeparator(canonical[i])) ++i;
  for (; i <= canonical.size(); ++i) {
    if (i < canonical.size() && !IsNameSeparator(canonical[i])) continue;
    const std::u16string_view level(canonical.data(), i);
    if (!IsFolder(level) && !os::CreateFolder(os::FilePathFromUtf16(level))) break;
  }
  return IsFolder(canonical);
}

bool CreateParentFolders(std::u16string_view file_path) {
  std::u16string copy;
  std::size_t last_separator = std::u16string::npos;
  for (std::size_t i = 0; i < file_path.size(); ++i) {
    const char16_t u = file_path[i];
    // A run of separators is kept as its last one.
    if (IsNameSeparator(u) && i + 1 < file_path.size() && IsNameSeparator(file_path[i + 1]))
      continue;
    if (copy.size() >= kFilePathCapacity) return false;
    if (IsNameSeparator(u) && i + 1 < file_path.size()) last_separator = copy.size();
    copy.push_back(u);
  }
  if (last_separator == std::u16string::npos) return false;
  copy.resize(last_separator);
  return CreateFolders(copy);
}

bool DeleteTree(std::u16string_view folder) { return DeleteTreeOfFolder(folder); }

bool DestinationOf(std::u16string_view entry_name, const FolderPair* pair, std::u16string* out,
                   std::u16string_view base) {
  if (base.empty() || entry_name.empty() || !out) return false;
  if (pair && (pair->source.empty() || pair->target.empty())) return false;
  const std::u16string name_text(entry_name);
  if (const char* reason = UnsafeEntryNameReason(entry_name)) {
    LauncherLog::PrintfWide(u"Failed to build dest path for file (%ls): %hs is not allowed.\r\n",
                            name_text.c_str(), reason);
    out->clear();
    return false;
  }
  if (entry_name.size() >= kFilePathCapacity) {
    LauncherLog::PrintfWide(u"Failed to build dest path for file (%ls).\r\n", name_text.c_str());
    out->clear();
    return false;
  }
  std::u16string name;
  AppendNative(entry_name, &name);

  if (pair) {
    std::u16string source;
    AppendNative(pair->source, &source);
    if (StartsWithIgnoringCase(source, name)) {
      *out = std::u16string(base);
      if (AppendPath(pair->target, out, kFilePathCapacity) == 0 ||
          AppendPath(std::u16string_view(name).substr(source.size()), out, kFilePathCapacity) == 0) {
        LauncherLog::PrintfWide(u"Failed to build mapped dest path for file (%ls).\r\n",
                                name_text.c_str());
        return false;
      }
      return true;
    }
  }
  if (JoinPath(name, base, kFilePathCapacity, out) == 0) {
    LauncherLog::PrintfWide(u"Failed to build dest path for file (%ls).\r\n", name_text.c_str());
    return false;
  }
  return true;
}

bool RemoveFiles(const PathWorkList& remove_list, const std::atomic<bool>& cancel,
                 std::atomic<std::int32_t>* files_removed, const RunErrorSetter& set_error) {
  files_removed->store(0, std::memory_order_relaxed);
  for (const std::u16string& path : remove_list.nodes) {
    if (cancel.load(std::memory_order_relaxed)) {
      LauncherLog::Write("info: canceled by user[5].\r\n");
      return false;
    }
    const auto native = os::FilePathFromUtf16(path);
    if (os::PathExists(native) && !os::IsDirectory(native)) {
      if (!os::SetFileAttributesNormal(native)) {
        LauncherLog::PrintfWide(u"error: unable to set the file attributes on, \"%ls\".\r\n",
                                path.c_str());
        if (set_error) set_error(kErrorSetAttributes, path);
        return false;
      }
      if (!os::DeleteFileAt(native)) {
        LauncherLog::PrintfWide(u"error: deleting file, \"%ls\".\r\n", path.c_str());
        if (set_error) set_error(kErrorCannotDelete, path);
        return false;
      }
    }
    files_removed->fetch_add(1, std::memory_order_relaxed);
  }
  return true;
}

bool DeleteGameData(const std::atomic<bool>& patch_running, std::u16string_view install_folder) {
  if (patch_running.load(std::memory_order_relaxed)) return false;
  (void)ResetInstalledVersion();
  std::u16string game;
  if (JoinPath(u"game", install_folder, kFolderPathCapacity - 1, &game) == 0) return false;
  return DeleteTree(game);
}

}  // namespace velmora::patcher
