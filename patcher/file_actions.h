// The few file and path operations through which the patcher changes an
// install: joining paths, mapping a manifest entry to the file it is written
// to, creating folders, deleting a folder tree, deleting the files of the
// remove list, and deleting the game's data on the page's request.
//
// Paths are UTF-16 texts. "\" and "/" are both accepted as separators; every
// path built here uses the platform's separator (os::NativePathSeparator: "\"
// on Windows, "/" on POSIX). Path capacities count UTF-16 units including the
// terminator, and a result that does not fit fails instead of being cut.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "patcher/work_lists.h"

namespace velmora::patcher {

// File destinations and delete tree use 260 units; the install folder and
// its subfolders 512.
inline constexpr std::size_t kFilePathCapacity = 260;
inline constexpr std::size_t kFolderPathCapacity = 512;

// The error codes that remove files sets (their texts name the file).
inline constexpr int kErrorSetAttributes = 21;  // "Unable to set attributes on %hs."
inline constexpr int kErrorCannotDelete = 23;   // "Cannot delete %hs."

// Sets the patch run's error text from a code and the file it concerns.
using RunErrorSetter = std::function<void(int code, std::u16string_view file)>;

// The base with its separators made native, one separator unless the base is
// empty or already ends in one, then `name` without its leading separators
// and with its separators made native. Returns the length, or 0 (and an empty
// `out`) when the result and its terminator exceed `capacity` units.
// join(\x\y.dll, C:\Games\V) is C:\Games\V\x\y.dll.
std::size_t JoinPath(std::u16string_view name, std::u16string_view base, std::size_t capacity,
                     std::u16string* out);
// JoinPath with `path`'s current text as the base, in place. 0 leaves `path`
// empty.
std::size_t AppendPath(std::u16string_view name, std::u16string* path, std::size_t capacity);

// Whether `text` begins with `prefix`, each unit lower-cased first.
bool StartsWithIgnoringCase(std::u16string_view prefix, std::u16string_view text);

// Creates every missing folder of `path` (after resolving "." and ".."
// lexically into at most 260 units), stopping at the first that cannot be
// created. True when `path` names a folder afterwards.
[[nodiscard]] bool CreateFolders(std::u16string_view path);

// Creates the folder that will hold `file_path` (runs of separators count as
// one). False when the path has no folder part or the folder does not exist
// afterwards.
[[nodiscard]] bool CreateParentFolders(std::u16string_view file_path);

// Deletes `folder` with everything in it: files get normal attributes first
// (so read-only files go too), subfolders go recursively, and links to
// folders are removed as links, never followed. After a 100 ms pause (so that
// the system lets go of the entries) the folder itself is removed. Items
// whose path would reach 259 units are left, and the folder with them. A
// folder that does not exist succeeds after the pause. True when `folder` no
// longer is a folder.
[[nodiscard]] bool DeleteTree(std::u16string_view folder);

// The source and target folder names of a launcher update, relative and
// ending in a separator: launcher\ and launcherupdate\.
struct FolderPair {
  std::u16string source;
  std::u16string target;
};

// The file that the manifest entry `entry_name` is written to under `base`.
// With a folder pair, a name that starts with the source folder (without
// regard to case or separator kind) is moved under the target folder:
// launcher\Launcher.exe becomes <base>\launcherupdate\Launcher.exe while
// game\x.dat stays <base>\game\x.dat. At most 260 units. A name that could
// lead outside `base` (UnsafeEntryNameReason) is refused with a log line, even
// though the manifest reader has refused such names already.
[[nodiscard]] bool DestinationOf(std::u16string_view entry_name, const FolderPair* pair,
                                 std::u16string* out, std::u16string_view base);

// Deletes the files of the remove list in list order (the FILE_REMOVE step).
// `files_removed` restarts at 0 and counts every path handled, including
// paths that are already gone or are folders. Stops with false when `cancel`
// is set ("info: canceled by user[5].") or a file's attributes cannot be set
// (error 21) or it cannot be deleted (error 23); files deleted before stay
// deleted.
[[nodiscard]] bool RemoveFiles(const PathWorkList& remove_list, const std::atomic<bool>& cancel,
                               std::atomic<std::int32_t>* files_removed,
                               const RunErrorSetter& set_error);

// The page's request to delete the game's data: does nothing (false) while a
// patch run is active; otherwise sets the installed version to "0.0.0" and
// deletes the "game" folder of the install. Returns the result of the tree
// deletion.
[[nodiscard]] bool DeleteGameData(const std::atomic<bool>& patch_running,
                                  std::u16string_view install_folder);

}  // namespace velmora::patcher
