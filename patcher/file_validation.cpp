#include "patcher/file_validation.h"

#include <memory>

#include "core/launcher_log.h"
#include "foundation/os/file_io.h"

namespace velmora::patcher {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// Feeds the rest of an open file to `md5` one chunk at a time; a read that
// returns less than a full chunk is the last. A file of exactly one chunk is
// read as one full chunk and then one empty read.
bool HashOpenFile(os::FileReader& file, Md5* md5,
                  const std::function<void(std::size_t)>& on_bytes = {}) {
  // Not zero-filled: every byte used is first read from the file.
  std::unique_ptr<unsigned char[]> chunk(new unsigned char[kValidationChunkBytes]);
  for (;;) {
    std::size_t got = 0;
    if (!file.Read(chunk.get(), kValidationChunkBytes, &got)) return false;
    md5->Update(chunk.get(), got);
    if (on_bytes) on_bytes(got);
    if (got < kValidationChunkBytes) return true;
  }
}

}  // namespace

std::string FormatDigest(const Md5Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text = "0x";
  for (std::uint8_t byte : digest) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

bool ValidateFile(std::u16string_view path, std::string_view expected_hash_text,
                  std::uint32_t expected_size, bool* match) {
  if (path.empty() || expected_hash_text.empty() || !match) {
    LauncherLog::Write("File Validation: Bad params.\r\n");
    return false;
  }
  const std::u16string path_text(path);
  os::FileReader file;
  if (!file.Open(os::FilePathFromUtf16(path))) {
    LauncherLog::PrintfWide(u"File Validation: Failed to open '%ls'.\r\n", path_text.c_str());
    return false;
  }
  std::uint64_t size = 0;
  if (!file.Size(&size)) {
    LauncherLog::PrintfWide(u"File Validation: Error reading '%ls'.\r\n", path_text.c_str());
    return false;
  }
  const auto actual_size = static_cast<std::uint32_t>(size);  // the low 32 bits
  const bool size_matches = actual_size == expected_size;
  LauncherLog::PrintfWide(u"File Validation: Size check %ls for '%ls'. Expected '%u', got '%u'.\r\n",
                          size_matches ? u"pass" : u"fail", path_text.c_str(), expected_size,
                          actual_size);
  if (!size_matches) {
    *match = false;
    return true;
  }

  Md5 md5;
  if (!HashOpenFile(file, &md5)) {
    LauncherLog::PrintfWide(u"File Validation: Error reading '%ls'.\r\n", path_text.c_str());
    return false;
  }
  const std::string computed = FormatDigest(md5.Finish());
  const std::string expected(expected_hash_text);
  const bool hash_matches = EqualsIgnoringAsciiCase(computed, expected);
  LauncherLog::PrintfWide(u"File Validation: Hash check %ls for '%ls'. Expected '%hs', got '%hs'.\r\n",
                          hash_matches ? u"pass" : u"fail", path_text.c_str(), expected.c_str(),
                          computed.c_str());
  *match = hash_matches;
  return true;
}

bool DigestFile(std::u16string_view path, Md5Digest* digest, std::uint64_t* size,
                std::string* error, const std::function<void(std::size_t)>& on_bytes) {
  os::FileReader file;
  if (!file.Open(os::FilePathFromUtf16(path)) || !file.Size(size)) {
    if (error) *error = file.LastError();
    return false;
  }
  Md5 md5;
  if (!HashOpenFile(file, &md5, on_bytes)) {
    if (error) *error = file.LastError();
    return false;
  }
  *digest = md5.Finish();
  return true;
}

}  // namespace velmora::patcher
