// Compares an install folder with a manifest through the launcher's own
// comparison and prints what a patch would do.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace velmora::publish {

// Prints "fetch <entry name>", "remove <full path>" and "unchanged <entry
// name>" for every node of the three lists, each list in its order, then one
// summary line. `prefix` (when given) with `exclude` is the entry filter of a
// patch pass. Returns the exit code: 0 when nothing is to fetch or remove, 1
// when there is work, 2 when the comparison failed (the launcher's log lines
// of the failure are repeated on standard error).
int VerifyInstall(const std::filesystem::path& install_folder,
                  const std::filesystem::path& manifest_file,
                  const std::optional<std::u16string>& prefix, bool exclude);

}  // namespace velmora::publish
