#include "patcher/tests/patcher_test_support.h"

#include <cstring>
#include <regex>

#include "core/launcher_log.h"
#include "foundation/os/file_io.h"
#include "foundation/os/process.h"
#include "patcher/file_validation.h"
#include "patcher/md5.h"

namespace velmora::patcher::testing {
namespace {

void Put16(std::string& s, std::size_t at, std::uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

struct VersionBlock {
  bool present = true;
  bool fixed_info = true;
  std::uint32_t ms = 0;
  std::uint32_t ls = 0;
};

// DOS header, PE headers, one section table entry, then the .rsrc section at
// file offset 0x200 / RVA 0x1000: a three-level resource directory
// (RT_VERSION / 1 / 0x409) and the VS_VERSIONINFO block.
std::string BuildImage(const VersionBlock& version, bool pe32_plus) {
  std::string rsrc;
  if (version.present) {
    rsrc.assign(0x58, '\0');
    Put16(rsrc, 0x0E, 1);                    // root: one id entry
    Put32(rsrc, 0x10, 16);                   //   RT_VERSION
    Put32(rsrc, 0x14, 0x80000000u | 0x18);   //   -> subdirectory
    Put16(rsrc, 0x18 + 0x0E, 1);             // names: one id entry
    Put32(rsrc, 0x28, 1);                    //   VS_VERSION_INFO
    Put32(rsrc, 0x2C, 0x80000000u | 0x30);   //   -> subdirectory
    Put16(rsrc, 0x30 + 0x0E, 1);             // languages: one id entry
    Put32(rsrc, 0x40, 0x0409);
    Put32(rsrc, 0x44, 0x48);                 //   -> data entry
    std::string block(version.fixed_info ? 92 : 40, '\0');
    Put16(block, 0, static_cast<std::uint16_t>(block.size()));
    Put16(block, 2, version.fixed_info ? 52 : 0);
    const char16_t key[] = u"VS_VERSION_INFO";
    for (std::size_t i = 0; i < 15; ++i) Put16(block, 6 + 2 * i, key[i]);
    if (version.fixed_info) {
      Put32(block, 40, 0xFEEF04BDu);
      Put32(block, 44, 0x00010000u);
      Put32(block, 48, version.ms);
      Put32(block, 52, version.ls);
      Put32(block, 56, version.ms);  // product version
      Put32(block, 60, version.ls);
      Put32(block, 64, 0x3F);
      Put32(block, 72, 0x00040004u);  // VOS_NT_WINDOWS32
      Put32(block, 76, 2);            // VFT_DLL
    }
    Put32(rsrc, 0x48, 0x1000 + 0x58);
    Put32(rsrc, 0x4C, static_cast<std::uint32_t>(block.size()));
    rsrc += block;
  } else {
    rsrc.assign(16, '\0');  // an empty resource directory
  }
  const std::size_t raw_size = (rsrc.size() + 0x1FF) & ~std::size_t{0x1FF};

  std::string image(0x200 + raw_size, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, 0x40);
  std::memcpy(&image[0x40], "PE\0\0", 4);
  const std::size_t coff = 0x44;
  const std::uint16_t optional_size = pe32_plus ? 0xF0 : 0xE0;
  Put16(image, coff, pe32_plus ? 0x8664 : 0x14C);
  Put16(image, coff + 2, 1);
  Put16(image, coff + 16, optional_size);
  Put16(image, coff + 18, pe32_plus ? 0x2022 : 0x2102);
  const std::size_t opt = coff + 20;
  Put16(image, opt, pe32_plus ? 0x20B : 0x10B);
  image[opt + 2] = 1;                  // linker version
  Put32(image, opt + 8, static_cast<std::uint32_t>(raw_size));  // initialised data
  Put32(image, opt + 20, 0x1000);      // base of code
  std::size_t at;
  if (pe32_plus) {
    Put32(image, opt + 24, 0x80000000u);  // image base, low half
    Put32(image, opt + 28, 1);            // image base, high half
    at = opt + 32;
  } else {
    Put32(image, opt + 24, 0x1000);       // base of data
    Put32(image, opt + 28, 0x10000000u);  // image base
    at = opt + 32;
  }
  Put32(image, at, 0x1000);       // section alignment
  Put32(image, at + 4, 0x200);    // file alignment
  Put16(image, at + 8, 4);        // OS version 4.0
  Put16(image, at + 16, 4);       // subsystem version 4.0
  Put32(image, at + 24, 0x2000);  // size of image
  Put32(image, at + 28, 0x200);   // size of headers
  Put16(image, at + 36, 2);       // GUI subsystem
  const std::size_t sizes = at + 40;  // stack and heap reserve / commit
  const std::size_t size_width = pe32_plus ? 8 : 4;
  Put32(image, sizes, 0x100000);
  Put32(image, sizes + size_width, 0x1000);
  Put32(image, sizes + 2 * size_width, 0x100000);
  Put32(image, sizes + 3 * size_width, 0x1000);
  const std::size_t rva_count = sizes + 4 * size_width + 4;  // after the loader flags
  Put32(image, rva_count, 16);
  Put32(image, rva_count + 4 + 2 * 8, 0x1000);  // the resource directory
  Put32(image, rva_count + 4 + 2 * 8 + 4, static_cast<std::uint32_t>(rsrc.size()));

  const std::size_t section = opt + optional_size;
  std::memcpy(&image[section], ".rsrc", 5);
  Put32(image, section + 8, static_cast<std::uint32_t>(rsrc.size()));
  Put32(image, section + 12, 0x1000);
  Put32(image, section + 16, static_cast<std::uint32_t>(raw_size));
  Put32(image, section + 20, 0x200);
  Put32(image, section + 36, 0x40000040u);  // initialised data, readable
  std::memcpy(&image[0x200], rsrc.data(), rsrc.size());
  return image;
}

bool TryDelete(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::remove(path, ec) && !ec;
}

int RunQuietly(const std::string& program, const std::vector<std::string>& arguments) {
  os::ChildProcess child;
  os::ChildProcessOptions options;
  options.capture_output = true;
  if (!child.Start(program, arguments, options)) return -1;
  const auto code = child.Wait(std::chrono::seconds(30));
  return code ? *code : -1;
}

}  // namespace

PatcherTest::PatcherTest() { LauncherLog::ResetForTesting(); }

PatcherTest::~PatcherTest() { LauncherLog::ResetForTesting(); }

std::string PatcherTest::LogText() const {
  static const std::regex stamp(R"(\[[A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4} UTC\] )");
  return std::regex_replace(velmora::testing::ReadFileBytes(LauncherLog::FilePath()), stamp, "");
}

int PatcherTest::CountInLog(const std::string& line) const {
  const std::string text = LogText();
  int count = 0;
  for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
    ++count;
  return count;
}

void PatcherTest::ClearLog() {
  std::error_code ec;
  std::filesystem::remove(LauncherLog::FilePath(), ec);
}

std::u16string PatcherTest::TempText(const std::filesystem::path& relative) const {
  return os::Utf16FromFilePath(relative.empty() ? temp() : temp() / relative);
}

std::u16string Native(std::u16string text) {
  for (char16_t& u : text)
    if (u == u'\\') u = os::NativePathSeparator();
  return text;
}

std::string FileElement(const std::string& name, const std::string& content,
                        const std::string& version) {
  return "<File Name=\"" + name + "\" Version=\"" + version + "\" Hash=\"" +
         FormatDigest(ComputeMd5(content.data(), content.size())) + "\" Size=\"" +
         std::to_string(content.size()) + "\" Count=\"0\"/>";
}

std::string ImageText(const std::vector<std::string>& children, int count,
                      const std::string& format_version) {
  std::string text = "<?xml version=\"1.0\"?>\r\n<Image Name=\"test\" Type=\"game\" Version=\"" +
                     format_version + "\" Created=\"2024:01:02:03:04\" Build=\"77\" Count=\"" +
                     std::to_string(count < 0 ? static_cast<int>(children.size()) : count) +
                     "\">\r\n";
  for (const std::string& child : children) text += "  " + child + "\r\n";
  return text + "</Image>\r\n";
}

std::string BuildVersionedImage(std::uint16_t a, std::uint16_t b, std::uint16_t c,
                                std::uint16_t d, bool pe32_plus) {
  VersionBlock version;
  version.ms = static_cast<std::uint32_t>(a) << 16 | b;
  version.ls = static_cast<std::uint32_t>(c) << 16 | d;
  return BuildImage(version, pe32_plus);
}

std::string BuildImageWithEmptyVersionBlock() {
  VersionBlock version;
  version.fixed_info = false;
  return BuildImage(version, false);
}

std::string BuildImageWithoutResources() {
  VersionBlock version;
  version.present = false;
  return BuildImage(version, false);
}

UndeletableFile::UndeletableFile(const std::filesystem::path& file) : file_(file) {
  const auto folder = file.parent_path();
  const auto probe = folder / "undeletable-probe";
  velmora::testing::WriteFileBytes(probe, "probe");
  {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> open_probe(
        std::fopen(probe.string().c_str(), "rb"), &std::fclose);
    if (!TryDelete(probe)) {
      open_probe.reset();
      TryDelete(probe);
      handle_.reset(std::fopen(file.string().c_str(), "rb"));
      method_ = Method::kOpenHandle;
      return;
    }
  }
  velmora::testing::WriteFileBytes(probe, "probe");
  std::filesystem::permissions(folder, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  if (!TryDelete(probe)) {
    method_ = Method::kReadOnlyFolder;
    std::filesystem::permissions(folder, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    TryDelete(probe);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    return;
  }
  std::filesystem::permissions(folder, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  if (RunQuietly("/usr/bin/chattr", {"+i", folder.string()}) == 0) method_ = Method::kImmutableFolder;
}

UndeletableFile::~UndeletableFile() {
  const auto folder = file_.parent_path();
  switch (method_) {
    case Method::kOpenHandle:
      handle_.reset();
      break;
    case Method::kReadOnlyFolder:
      std::filesystem::permissions(folder, std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add);
      break;
    case Method::kImmutableFolder:
      RunQuietly("/usr/bin/chattr", {"-i", folder.string()});
      break;
    case Method::kNone:
      break;
  }
}

}  // namespace velmora::patcher::testing
