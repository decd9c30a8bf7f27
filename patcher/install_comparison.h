// process_image: compares the install folder on disk with one manifest and
// works out what a patch must fetch, what it must remove and (on request)
// what is already correct. It reads and hashes files but changes nothing.
//
// The scan walks the install root; in each folder all files come before the
// subfolders, in the order the file system lists them. Folders named
// support, patches, server, userdata and launcherupdate (any case) are never
// entered, and links to folders are never followed. Files ending in ".log"
// are neither compared nor removed. A file is found in the manifest by the
// name hash of its path relative to the root; a ".dll" or ".exe" whose
// version resource differs from the entry's version is fetched at once,
// every other listed file is validated by size and MD5.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "patcher/entry_name.h"
#include "patcher/manifest.h"
#include "patcher/work_lists.h"

namespace velmora::patcher {

// Scan limits in UTF-16 units: a full path, and a path relative to the
// root. Longer paths are skipped with a log line (they could be neither
// looked up nor removed safely); the scan goes on.
inline constexpr std::size_t kMaxScanPathUnits = 1023;
inline constexpr std::size_t kMaxRelativePathUnits = 511;

// Whether `root` is acceptable as the install root: it must not contain
// "\." and must have no "." or ".." component (either separator). POSIX
// roots may contain hidden folders such as "/home/a/.games/velmora".
bool IsCanonicalInstallRoot(std::u16string_view root);

// Compares `install_root` with the manifest `manifest_text` (up to its first
// NUL byte). `filter` (may be null) selects manifest entries (both filter
// rules) and local files (the prefix rule only).
//
// Fills `fetch` (entries to download: changed, unreadable or missing on
// disk), `remove` (full paths of local files the manifest does not list) and,
// when `unchanged` is not null, the entries whose local copy is correct. New
// nodes go to the front. The lists are emptied first; fetch and unchanged
// nodes point into the returned image, which must outlive them.
//
// `total` becomes the number of retained entries, and `processed` counts the
// entries found on disk as the scan goes (read by the UI thread without a
// lock). `cancel` (may be null) is read once per local file.
//
// Returns null, with every list empty, when an argument is missing, the root
// is not canonical, the manifest cannot be read, a path outside the root
// turns up, or the cancel flag is seen; each of these logs its reason.
std::unique_ptr<ManifestImage> ProcessImage(std::u16string_view install_root,
                                            std::string_view manifest_text,
                                            const EntryFilter* filter, EntryWorkList* fetch,
                                            PathWorkList* remove, EntryWorkList* unchanged,
                                            std::atomic<std::int32_t>* processed,
                                            std::atomic<std::int32_t>* total,
                                            const std::atomic<bool>* cancel);

}  // namespace velmora::patcher
