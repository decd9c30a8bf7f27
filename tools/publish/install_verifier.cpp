#include "tools/publish/install_verifier.h"

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "core/launcher_log.h"
#include "foundation/os/file_io.h"
#include "foundation/os/files.h"
#include "foundation/text/utf.h"
#include "patcher/install_comparison.h"

namespace velmora::publish {
namespace {

std::uint64_t LogSize() {
  return os::GetFileSize(LauncherLog::FilePath()).value_or(0);
}

// The comparison explains its failures in the launcher's log; repeat the
// lines it wrote since `from` without their time stamps.
void RepeatLogSince(std::uint64_t from) {
  std::ifstream in(LauncherLog::FilePath(), std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  std::ostringstream tail;
  tail << in.rdbuf();
  static const std::regex stamp(R"(\[[A-Za-z]{3} [A-Za-z]{3} \d\d \d\d:\d\d:\d\d \d{4} UTC\] )");
  std::string text = std::regex_replace(tail.str(), stamp, "");
  std::string line;
  std::istringstream lines(text);
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("processing \"", 0) == 0 || line.rfind("File Validation: ", 0) == 0) continue;
    if (!line.empty()) std::fprintf(stderr, "velmora-publish: %s\n", line.c_str());
  }
}

}  // namespace

int VerifyInstall(const std::filesystem::path& install_folder,
                  const std::filesystem::path& manifest_file,
                  const std::optional<std::u16string>& prefix, bool exclude) {
  std::ifstream in(manifest_file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in) {
    std::fprintf(stderr, "velmora-publish: cannot read the manifest \"%s\".\n",
                 manifest_file.string().c_str());
    return 2;
  }
  const std::string manifest = bytes.str();

  std::error_code ec;
  auto root_path = std::filesystem::absolute(install_folder, ec).lexically_normal();
  if (!root_path.has_filename() && root_path.has_parent_path() && root_path != root_path.root_path())
    root_path = root_path.parent_path();  // no trailing separator
  if (!os::IsDirectory(root_path)) {
    std::fprintf(stderr, "velmora-publish: \"%s\" is not a folder.\n", install_folder.string().c_str());
    return 2;
  }
  const std::u16string root = os::Utf16FromFilePath(root_path);

  patcher::EntryFilter filter;
  if (prefix) filter = patcher::EntryFilter{*prefix, exclude};

  LauncherLog::Printf("velmora-publish: verifying \"%ls\" against \"%s\".\r\n", root.c_str(),
                      manifest_file.string().c_str());
  const std::uint64_t log_start = LogSize();

  patcher::EntryWorkList fetch, unchanged;
  patcher::PathWorkList remove;
  std::atomic<std::int32_t> processed{0}, total{0};
  const auto image = patcher::ProcessImage(root, manifest, prefix ? &filter : nullptr, &fetch,
                                           &remove, &unchanged, &processed, &total, nullptr);
  if (!image) {
    std::fprintf(stderr, "velmora-publish: the comparison failed.\n");
    RepeatLogSince(log_start);
    return 2;
  }
  for (const patcher::ManifestFile* entry : fetch.nodes)
    std::printf("fetch %s\n", Utf16ToUtf8(entry->name).c_str());
  for (const std::u16string& path : remove.nodes) std::printf("remove %s\n", Utf16ToUtf8(path).c_str());
  for (const patcher::ManifestFile* entry : unchanged.nodes)
    std::printf("unchanged %s\n", Utf16ToUtf8(entry->name).c_str());
  std::printf("%d to fetch, %d to remove, %d unchanged; %d of %d entries found on disk\n",
              fetch.count, remove.count, unchanged.count, processed.load(), total.load());
  std::fflush(stdout);
  return fetch.count == 0 && remove.count == 0 ? 0 : 1;
}

}  // namespace velmora::publish
