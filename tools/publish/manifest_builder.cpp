#include "tools/publish/manifest_builder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <vector>

#include "foundation/os/file_console.h"
#include "foundation/os/file_io.h"
#include "foundation/os/file_listing.h"
#include "foundation/os/file_version.h"
#include "foundation/os/files.h"
#include "foundation/text/utf.h"
#include "patcher/entry_name.h"
#include "patcher/file_actions.h"
#include "patcher/file_validation.h"
#include "patcher/manifest.h"

namespace velmora::publish {
namespace {

using patcher::EntryFilter;

// The folders the launcher's comparison never enters; files in them would
// only ever be reported missing.
constexpr std::u16string_view kSkippedFolders[] = {u"support", u"patches", u"server", u"userdata",
                                                   u"launcherupdate"};
// Large folders get a progress bar (on a terminal).
constexpr std::uint64_t kProgressBytes = 256ull << 20;
constexpr std::size_t kProgressFiles = 1000;

struct Candidate {
  std::u16string name;  // relative, with "\"
  std::u16string path;  // full
  std::uint64_t size = 0;
};

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && patcher::StartsWithIgnoringCase(a, b);
}

bool EndsWithIgnoringCase(std::u16string_view text, std::u16string_view tail) {
  return text.size() >= tail.size() && EqualsIgnoringCase(text.substr(text.size() - tail.size()), tail);
}

bool IsSkippedFolder(std::u16string_view name) {
  for (std::u16string_view skipped : kSkippedFolders)
    if (EqualsIgnoringCase(name, skipped)) return true;
  return false;
}

std::string Show(std::u16string_view text) { return Utf16ToUtf8(text); }

class FolderCollector {
 public:
  bool Collect(const std::u16string& folder, const std::u16string& relative) {
    std::u16string base = folder;
    if (!patcher::IsNameSeparator(base.back())) base.push_back(os::NativePathSeparator());
    std::vector<std::u16string> subfolders;
    const bool listed = os::ListFolder(os::FilePathFromUtf16(base), [&](const os::FolderItem& item) {
      const std::u16string name = os::Utf16FromFilePath(item.name);
      if (name.find(u'\\') != std::u16string::npos) {
        // POSIX allows "\" in a name; the launcher would read it as a folder.
        std::fprintf(stderr, "velmora-publish: \"%s\" cannot be listed: its name holds a \"\\\".\n",
                     Show(base + name).c_str());
        ok_ = false;
        return true;
      }
      switch (item.kind) {
        case os::FolderItemKind::kFolder:
          if (!IsSkippedFolder(name)) subfolders.push_back(name);
          break;
        case os::FolderItemKind::kLinkToFolder:
          std::fprintf(stderr, "velmora-publish: note: the folder link \"%s\" is not followed.\n",
                       Show(base + name).c_str());
          break;
        case os::FolderItemKind::kFile:
          if (!EndsWithIgnoringCase(name, u".log")) {
            Candidate candidate;
            candidate.name = relative + name;
            candidate.path = base + name;
            candidate.size = os::GetFileSize(os::FilePathFromUtf16(candidate.path)).value_or(0);
            files_.push_back(std::move(candidate));
          }
          break;
      }
      return true;
    });
    if (!listed) {
      std::fprintf(stderr, "velmora-publish: cannot list \"%s\".\n", Show(base).c_str());
      return false;
    }
    for (const std::u16string& name : subfolders)
      if (!Collect(base + name, relative + name + u"\\")) return false;
    return true;
  }

  bool ok() const { return ok_; }
  std::vector<Candidate>& files() { return files_; }

 private:
  std::vector<Candidate> files_;
  bool ok_ = true;
};

// Every name must come back from the launcher's reader as the same file.
bool CheckNames(const std::vector<Candidate>* files) {
  bool ok = true;
  std::map<std::uint32_t, std::u16string> by_hash;
  for (const Candidate& file : *files) {
    if (!patcher::FilterRetainsEntry(EntryFilter{}, file.name))
      std::fprintf(stderr,
                   "velmora-publish: note: \"%s\" is listed, but both patch passes of the launcher "
                   "drop it, and the launcher pass removes a copy on disk.\n",
                   Show(file.name).c_str());
    if (file.name.size() > patcher::kMaxEntryNameUnits) {
      std::fprintf(stderr, "velmora-publish: \"%s\" is longer than %d UTF-16 units.\n",
                   Show(file.name).c_str(), static_cast<int>(patcher::kMaxEntryNameUnits));
      ok = false;
    } else if (const char* reason = patcher::UnsafeEntryNameReason(file.name)) {
      std::fprintf(stderr, "velmora-publish: \"%s\" cannot be listed: %s.\n", Show(file.name).c_str(),
                   reason);
      ok = false;
    }
    const auto [at, inserted] = by_hash.emplace(patcher::NameHash(file.name), file.name);
    if (!inserted) {
      std::fprintf(stderr,
                   "velmora-publish: \"%s\" and \"%s\" have one name hash; the launcher could not "
                   "tell them apart.\n",
                   Show(at->second).c_str(), Show(file.name).c_str());
      ok = false;
    }
  }
  return ok;
}

bool CheckImageText(const char* what, const std::string& text) {
  if (text.size() > patcher::kManifestShortTextBytes) {
    std::fprintf(stderr, "velmora-publish: --%s is longer than %d bytes.\n", what,
                 static_cast<int>(patcher::kManifestShortTextBytes));
    return false;
  }
  for (char c : text) {
    if (c == '"' || static_cast<unsigned char>(c) < 0x20) {
      std::fprintf(stderr, "velmora-publish: --%s holds a quote or a control character.\n", what);
      return false;
    }
  }
  return true;
}

std::string FormatBytes(std::uint64_t bytes) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 4) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

class ProgressBar {
 public:
  ProgressBar(std::size_t files, std::uint64_t bytes)
      : enabled_(os::IsStandardErrorTerminal() && (bytes >= kProgressBytes || files >= kProgressFiles)),
        total_files_(files),
        total_bytes_(bytes) {}

  void AddBytes(std::size_t bytes) {
    done_bytes_ += bytes;
    Draw(false);
  }
  void FileDone() {
    ++done_files_;
    Draw(false);
  }
  void Finish() {
    Draw(true);
    if (enabled_) std::fputc('\n', stderr);
  }

 private:
  void Draw(bool force) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    const double share = total_bytes_ ? static_cast<double>(done_bytes_) / total_bytes_ : 1.0;
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(share * kWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r[%s] %3d%%  %zu/%zu files  %s of %s ", bar.c_str(),
                 static_cast<int>(share * 100), done_files_, total_files_,
                 FormatBytes(done_bytes_).c_str(), FormatBytes(total_bytes_).c_str());
    std::fflush(stderr);
  }

  bool enabled_;
  std::size_t total_files_;
  std::size_t done_files_ = 0;
  std::uint64_t total_bytes_;
  std::uint64_t done_bytes_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

bool LiesInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
  std::error_code ec;
  const auto inner = std::filesystem::weakly_canonical(path, ec);
  const auto outer = std::filesystem::weakly_canonical(folder, ec);
  const auto relative = inner.lexically_relative(outer);
  return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

int BuildManifest(const std::filesystem::path& folder, const ImageDescription& image,
                  const std::filesystem::path& output) {
  if (!CheckImageText("name", image.name) || !CheckImageText("type", image.type) ||
      !CheckImageText("created", image.created) || !CheckImageText("build", image.build))
    return 2;
  if (!os::IsDirectory(folder)) {
    std::fprintf(stderr, "velmora-publish: \"%s\" is not a folder.\n", folder.string().c_str());
    return 2;
  }
  if (LiesInside(output, folder)) {
    std::fprintf(stderr,
                 "velmora-publish: the manifest must not be written inside the folder it describes.\n");
    return 2;
  }

  FolderCollector collector;
  if (!collector.Collect(os::Utf16FromFilePath(std::filesystem::absolute(folder).lexically_normal()),
                         u"") ||
      !collector.ok())
    return 2;
  std::vector<Candidate>& files = collector.files();
  if (!CheckNames(&files)) return 2;
  std::sort(files.begin(), files.end(),
            [](const Candidate& a, const Candidate& b) { return a.name < b.name; });

  std::uint64_t total = 0;
  for (const Candidate& file : files) total += file.size;
  ProgressBar progress(files.size(), total);

  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Image Name=\"" + image.name +
                     "\" Type=\"" + image.type + "\" Version=\"" +
                     patcher::kManifestFormatVersion + "\" Created=\"" + image.created +
                     "\" Build=\"" + image.build + "\" Count=\"" + std::to_string(files.size()) +
                     "\">\r\n";
  for (const Candidate& file : files) {
    patcher::Md5Digest digest{};
    std::uint64_t size = 0;
    std::string error;
    if (!patcher::DigestFile(file.path, &digest, &size, &error,
                             [&](std::size_t bytes) { progress.AddBytes(bytes); })) {
      progress.Finish();
      std::fprintf(stderr, "velmora-publish: cannot read \"%s\": %s\n", Show(file.path).c_str(),
                   error.c_str());
      return 2;
    }
    progress.FileDone();
    if (size > 0xFFFFFFFFull)
      std::fprintf(stderr,
                   "velmora-publish: note: \"%s\" is 4 GiB or larger; the manifest holds the low 32 "
                   "bits of its size and the launcher decides by its digest.\n",
                   Show(file.name).c_str());
    std::string version;
    if (EndsWithIgnoringCase(file.name, u".dll") || EndsWithIgnoringCase(file.name, u".exe"))
      version = os::ReadFileVersionText(os::FilePathFromUtf16(file.path)).value_or("");
    text += "  <File Name=\"" + Show(file.name) + "\" Version=\"" + version + "\" Hash=\"" +
            patcher::FormatDigest(digest) + "\" Size=\"" +
            std::to_string(static_cast<std::uint32_t>(size)) + "\" Count=\"0\"/>\r\n";
  }
  text += "</Image>\r\n";
  progress.Finish();

  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    std::error_code ec;
    std::filesystem::remove(output, ec);
    std::fprintf(stderr, "velmora-publish: cannot write \"%s\".\n", output.string().c_str());
    return 2;
  }
  std::fprintf(stderr, "velmora-publish: %zu files, %s, written to %s\n", files.size(),
               FormatBytes(total).c_str(), output.string().c_str());
  return 0;
}

}  // namespace velmora::publish
