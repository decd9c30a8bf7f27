#include "patcher/install_comparison.h"

#include <vector>

#include "core/launcher_log.h"
#include "foundation/os/file_io.h"
#include "foundation/os/file_listing.h"
#include "foundation/os/file_version.h"
#include "patcher/file_actions.h"
#include "patcher/file_validation.h"

namespace velmora::patcher {
namespace {

// Folders the patcher never looks into: the player's and the servers' own
// data, and the launcher update being staged.
constexpr std::u16string_view kSkippedFolders[] = {u"support", u"patches", u"server", u"userdata",
                                                   u"launcherupdate"};

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}

bool IsSkippedFolder(std::u16string_view name) {
  for (std::u16string_view skipped : kSkippedFolders)
    if (EqualsIgnoringCase(name, skipped)) return true;
  return false;
}

// The text from the last "." of the path (there may be none).
std::u16string_view ExtensionOf(std::u16string_view path) {
  const std::size_t dot = path.rfind(u'.');
  return dot == std::u16string_view::npos ? std::u16string_view() : path.substr(dot);
}

class InstallScan {
 public:
  InstallScan(std::u16string_view root, const EntryFilter* filter, ManifestImage* image,
              EntryWorkList* fetch, PathWorkList* remove, EntryWorkList* unchanged,
              std::atomic<std::int32_t>* processed, const std::atomic<bool>* cancel)
      : root_(root),
        filter_(filter),
        image_(image),
        fetch_(fetch),
        remove_(remove),
        unchanged_(unchanged),
        processed_(processed),
        cancel_(cancel) {}

  bool ScanFolder(std::u16string folder) {
    if (!IsNameSeparator(folder.back())) folder.push_back(os::NativePathSeparator());
    const auto native = os::FilePathFromUtf16(folder);

    bool keep_going = true;
    (void)os::ListFolder(native, [&](const os::FolderItem& item) {
      if (item.kind != os::FolderItemKind::kFile) return true;
      const std::u16string path = folder + os::Utf16FromFilePath(item.name);
      if (path.size() > kMaxScanPathUnits) {
        LauncherLog::PrintfWide(u"info: skipping \"%ls\": the path is too long to compare.\r\n",
                                path.c_str());
        return true;
      }
      keep_going = HandleLocalFile(path);
      return keep_going;
    });
    if (!keep_going) return false;

    std::vector<std::u16string> subfolders;
    (void)os::ListFolder(native, [&](const os::FolderItem& item) {
      if (item.kind != os::FolderItemKind::kFolder) return true;
      const std::u16string name = os::Utf16FromFilePath(item.name);
      if (!IsSkippedFolder(name)) subfolders.push_back(name);
      return true;
    });
    for (const std::u16string& name : subfolders) {
      const std::u16string path = folder + name;
      if (path.size() + 1 > kMaxScanPathUnits) {
        LauncherLog::PrintfWide(u"info: skipping \"%ls\": the path is too long to compare.\r\n",
                                path.c_str());
        continue;
      }
      if (!ScanFolder(path)) return false;
    }
    return true;
  }

 private:
  bool HandleLocalFile(const std::u16string& path) {
    if (cancel_ && cancel_->load(std::memory_order_relaxed)) {
      LauncherLog::Write("info: canceled by user[4].\r\n");
      return false;
    }
    const std::u16string_view extension = ExtensionOf(path);
    if (EqualsIgnoringCase(extension, u".log")) return true;  // logs are the player's
    if (!StartsWithIgnoringCase(root_, path)) {
      const std::u16string root(root_);
      LauncherLog::PrintfWide(u"error: expected the path, \"%ls\" to begin with \"%ls\".\r\n",
                              path.c_str(), root.c_str());
      return false;
    }
    std::size_t start = root_.size();
    while (start < path.size() && IsNameSeparator(path[start])) ++start;
    std::u16string relative = path.substr(start);
    for (char16_t& u : relative)
      if (u == u'/') u = u'\\';
    if (relative.size() > kMaxRelativePathUnits) {
      LauncherLog::PrintfWide(u"info: skipping \"%ls\": the path is too long to compare.\r\n",
                              path.c_str());
      return true;
    }
    LauncherLog::Printf("processing \"%ls\"...\r\n", relative.c_str());

    if (filter_ && !FilterRetainsByPrefix(*filter_, relative)) {
      LauncherLog::PrintfWide(u"Skipping local file due to discovery filter: \"%ls\".\r\n",
                              path.c_str());
      return true;
    }
    ManifestFile* entry = FindEntry(image_, relative);
    if (!entry) {
      if (path.size() > PathWorkList::kMaxPathUnits) {
        LauncherLog::PrintfWide(u"info: skipping \"%ls\": the path is too long to remove.\r\n",
                                path.c_str());
        return true;
      }
      LauncherLog::PrintfWide(
          u"info: \"%ls\" not found in the manifest -- adding to remove list.\r\n",
          relative.c_str());
      remove_->PushFront(path);
      return true;
    }
    if (entry->processed) {
      LauncherLog::PrintfWide(u"error: \"%ls\" has already been processed!\r\n", relative.c_str());
      return true;
    }
    entry->processed = 1;
    processed_->fetch_add(1, std::memory_order_relaxed);
    CompareFile(path, extension, *entry);
    return true;
  }

  void CompareFile(const std::u16string& path, std::u16string_view extension,
                   const ManifestFile& entry) {
    if ((EqualsIgnoringCase(extension, u".dll") || EqualsIgnoringCase(extension, u".exe")) &&
        !entry.version.empty()) {
      // The version resource decides without reading the file's data.
      const auto version = os::ReadFileVersionText(os::FilePathFromUtf16(path));
      if (version && *version != entry.version) {
        LauncherLog::PrintfWide(
            u"info: file version, \"%hs\" does not match image file version, \"%hs\".  adding to "
            u"fetch list.\r\n",
            version->c_str(), entry.version.c_str());
        fetch_->PushFront(&entry);
        return;
      }
    }
    bool match = false;
    if (!ValidateFile(path, FormatDigest(entry.md5), entry.size, &match)) {
      LauncherLog::PrintfWide(u"Failed to compare file %ls\r\n", path.c_str());
      fetch_->PushFront(&entry);
    } else if (!match) {
      fetch_->PushFront(&entry);
    } else if (unchanged_) {
      unchanged_->PushFront(&entry);
    }
  }

  std::u16string_view root_;
  const EntryFilter* filter_;
  ManifestImage* image_;
  EntryWorkList* fetch_;
  PathWorkList* remove_;
  EntryWorkList* unchanged_;
  std::atomic<std::int32_t>* processed_;
  const std::atomic<bool>* cancel_;
};

void EmptyOutputs(EntryWorkList* fetch, PathWorkList* remove, EntryWorkList* unchanged) {
  fetch->Clear();
  remove->Clear();
  if (unchanged) unchanged->Clear();
}

}  // namespace

bool IsCanonicalInstallRoot(std::u16string_view root) {
  if (root.find(u"\\.") != std::u16string_view::npos) return false;
  std::size_t start = 0;
  while (start <= root.size()) {
    std::size_t end = start;
    while (end < root.size() && !IsNameSeparator(root[end])) ++end;
    const std::u16string_view component = root.substr(start, end - start);
    if (component == u"." || component == u"..") return false;
    start = end + 1;
  }
  return true;
}

std::unique_ptr<ManifestImage> ProcessImage(std::u16string_view install_root,
                                            std::string_view manifest_text,
                                            const EntryFilter* filter, EntryWorkList* fetch,
                                            PathWorkList* remove, EntryWorkList* unchanged,
                                            std::atomic<std::int32_t>* processed,
                                            std::atomic<std::int32_t>* total,
                                            const std::atomic<bool>* cancel) {
  if (!fetch || !remove) return nullptr;
  EmptyOutputs(fetch, remove, unchanged);
  if (manifest_text.empty() || manifest_text.front() == '\0' || install_root.empty())
    return nullptr;
  if (!IsCanonicalInstallRoot(install_root)) {
    const std::u16string root(install_root);
    LauncherLog::PrintfWide(u"error: process_image expects a canonical directory, got '%ls'\r\n",
                            root.c_str());
    return nullptr;
  }

  std::atomic<std::int32_t> own_processed{0}, own_total{0};
  if (!processed) processed = &own_processed;
  if (!total) total = &own_total;
  auto image = std::make_unique<ManifestImage>();
  processed->store(0, std::memory_order_relaxed);
  total->store(0, std::memory_order_relaxed);

  if (!ReadManifest(manifest_text, image.get(), filter)) {
    LauncherLog::Write("error: unable to parse manifest.\r\n");
    return nullptr;
  }
  total->store(image->entry_count, std::memory_order_relaxed);

  InstallScan scan(install_root, filter, image.get(), fetch, remove, unchanged, processed, cancel);
  if (!scan.ScanFolder(std::u16string(install_root))) {
    LauncherLog::Write("error: unable to process manifest.\r\n");
    EmptyOutputs(fetch, remove, unchanged);
    return nullptr;
  }

  for (const ManifestFile& entry : image->entries) {
    if (entry.processed) continue;
    LauncherLog::PrintfWide(
        u"info: \"%ls\" exists in image but not on client.  adding to fetch list.\r\n",
        entry.name.c_str());
    fetch->PushFront(&entry);
  }
  return image;
}

}  // namespace velmora::patcher
