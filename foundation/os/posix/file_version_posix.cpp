// The version resource of a Windows PE image, read without the system's help.
//
// Game binaries stay Windows binaries on every platform, so a Linux player's
// install is compared by the same version numbers as on Windows. Every
// offset and size read from the file is checked against the file before use:
// the file comes from the install, which anyone may have changed.
#include "foundation/os/file_version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace velmora::os {
namespace {

constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::uint16_t kVersionResourceType = 16;  // RT_VERSION
constexpr std::uint16_t kVersionResourceId = 1;     // VS_VERSION_INFO
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
// Version blocks are a few kilobytes; anything far larger is not one.
constexpr std::uint32_t kMaxVersionBlockBytes = 1u << 20;
constexpr std::uint32_t kMaxDirectoryEntries = 4096;

class ImageFile {
 public:
  explicit ImageFile(const std::filesystem::path& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat info;
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode))
      size_ = static_cast<std::uint64_t>(info.st_size);
  }
  ~ImageFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  bool Read(std::uint64_t offset, void* out, std::size_t count) const {
    if (fd_ < 0 || offset > size_ || count > size_ - offset) return false;
    auto* bytes = static_cast<unsigned char*>(out);
    std::size_t done = 0;
    while (done < count) {
      const ssize_t got = ::pread(fd_, bytes + done, count - done, static_cast<off_t>(offset + done));
      if (got <= 0) return false;
      done += static_cast<std::size_t>(got);
    }
    return true;
  }
  bool U16(std::uint64_t offset, std::uint16_t* value) const {
    unsigned char b[2];
    if (!Read(offset, b, 2)) return false;
    *value = static_cast<std::uint16_t>(b[0] | b[1] << 8);
    return true;
  }
  bool U32(std::uint64_t offset, std::uint32_t* value) const {
    unsigned char b[4];
    if (!Read(offset, b, 4)) return false;
    *value = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
             static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_ = 0;
};

struct Section {
  std::uint32_t virtual_address;
  std::uint32_t virtual_size;
  std::uint32_t raw_size;
  std::uint32_t raw_offset;
};

// Maps an RVA to a file offset through the section table; the whole range
// [rva, rva + length) must lie in the section's raw data.
bool RvaToOffset(const std::vector<Section>& sections, std::uint32_t rva, std::uint32_t length,
                 std::uint64_t* offset) {
  for (const Section& s : sections) {
    const std::uint64_t span = s.virtual_size > s.raw_size ? s.virtual_size : s.raw_size;
    if (rva < s.virtual_address || rva - s.virtual_address >= span) continue;
    const std::uint64_t within = rva - s.virtual_address;
    if (within + length > s.raw_size) return false;
    *offset = static_cast<std::uint64_t>(s.raw_offset) + within;
    return true;
  }
  return false;
}

// Finds an entry of one resource directory level. `wanted_id` 0 takes the
// first entry; otherwise the entry with that numeric id, falling back to the
// first entry when `fallback_to_first` is set. Returns the entry's
// OffsetToData field.
bool FindDirectoryEntry(const ImageFile& file, std::uint64_t resource_base,
                        std::uint32_t directory_offset, std::uint16_t wanted_id,
                        bool fallback_to_first, std::uint32_t* data_field) {
  std::uint16_t named = 0, ids = 0;
  const std::uint64_t dir = resource_base + directory_offset;
  if (!file.U16(dir + 12, &named) || !file.U16(dir + 14, &ids)) return false;
  const std::uint32_t total = static_cast<std::uint32_t>(named) + ids;
  if (total == 0 || total > kMaxDirectoryEntries) return false;
  if (wanted_id == 0) return file.U32(dir + 16 + 4, data_field);
  // Named entries come first; numeric ids follow, sorted.
  for (std::uint32_t i = named; i < total; ++i) {
    std::uint32_t name = 0;
    if (!file.U32(dir + 16 + 8ull * i, &name)) return false;
    if ((name & kSubdirectoryFlag) == 0 && name == wanted_id)
      return file.U32(dir + 16 + 8ull * i + 4, data_field);
  }
  if (fallback_to_first) return file.U32(dir + 16 + 4, data_field);
  return false;
}

}  // namespace

std::optional<FileVersionNumbers> ReadFileVersionNumbers(const std::filesystem::path& path) {
  ImageFile file(path);
  unsigned char mz[2];
  if (!file.Read(0, mz, 2) || mz[0] != 'M' || mz[1] != 'Z') return std::nullopt;
  std::uint32_t pe = 0;
  if (!file.U32(0x3C, &pe)) return std::nullopt;
  unsigned char signature[4];
  if (!file.Read(pe, signature, 4) || std::memcmp(signature, "PE\0\0", 4) != 0) return std::nullopt;

  std::uint16_t section_count = 0, optional_size = 0, magic = 0;
  const std::uint64_t coff = static_cast<std::uint64_t>(pe) + 4;
  if (!file.U16(coff + 2, &section_count) || !file.U16(coff + 16, &optional_size))
    return std::nullopt;
  const std::uint64_t optional = coff + 20;
  if (!file.U16(optional, &magic)) return std::nullopt;
  std::uint64_t directories = 0;
  std::uint32_t directory_count = 0;
  if (magic == 0x10B) {  // PE32
    if (!file.U32(optional + 92, &directory_count)) return std::nullopt;
    directories = optional + 96;
  } else if (magic == 0x20B) {  // PE32+
    if (!file.U32(optional + 108, &directory_count)) return std::nullopt;
    directories = optional + 112;
  } else {
    return std::nullopt;
  }
  // The resource table is data directory 2, and it must lie in the header.
  if (directory_count < 3 || directories + 3 * 8 > optional + optional_size) return std::nullopt;
  std::uint32_t resource_rva = 0, resource_size = 0;
  if (!file.U32(directories + 16, &resource_rva) || !file.U32(directories + 20, &resource_size) ||
      resource_rva == 0)
    return std::nullopt;

  if (section_count == 0 || section_count > 96) return std::nullopt;
  std::vector<Section> sections(section_count);
  const std::uint64_t table = optional + optional_size;
  for (std::uint16_t i = 0; i < section_count; ++i) {
    const std::uint64_t at = table + 40ull * i;
    Section& s = sections[i];
    if (!file.U32(at + 8, &s.virtual_size) || !file.U32(at + 12, &s.virtual_address) ||
        !file.U32(at + 16, &s.raw_size) || !file.U32(at + 20, &s.raw_offset))
      return std::nullopt;
  }

  std::uint64_t resource_base = 0;
  if (!RvaToOffset(sections, resource_rva, 16, &resource_base)) return std::nullopt;

  // Three levels: type (RT_VERSION), name (VS_VERSION_INFO, else the first),
  // language (the first).
  std::uint32_t field = 0;
  if (!FindDirectoryEntry(file, resource_base, 0, kVersionResourceType, false, &field) ||
      (field & kSubdirectoryFlag) == 0)
    return std::nullopt;
  if (!FindDirectoryEntry(file, resource_base, field & ~kSubdirectoryFlag, kVersionResourceId,
                          true, &field) ||
      (field & kSubdirectoryFlag) == 0)
    return std::nullopt;
  if (!FindDirectoryEntry(file, resource_base, field & ~kSubdirectoryFlag, 0, false, &field) ||
      (field & kSubdirectoryFlag) != 0)
    return std::nullopt;

  std::uint32_t data_rva = 0, data_size = 0;
  if (!file.U32(resource_base + field, &data_rva) || !file.U32(resource_base + field + 4, &data_size))
    return std::nullopt;
  if (data_size < 6 || data_size > kMaxVersionBlockBytes) return std::nullopt;
  std::uint64_t data = 0;
  if (!RvaToOffset(sections, data_rva, data_size, &data)) return std::nullopt;
  std::vector<unsigned char> block(data_size);
  if (!file.Read(data, block.data(), block.size())) return std::nullopt;

  // VS_VERSIONINFO: wLength, wValueLength, wType, szKey (UTF-16, NUL
  // terminated), padding to 32 bits, then the value: VS_FIXEDFILEINFO.
  auto u16 = [&](std::size_t at) {
    return static_cast<std::uint16_t>(block[at] | block[at + 1] << 8);
  };
  auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(block[at]) | static_cast<std::uint32_t>(block[at + 1]) << 8 |
           static_cast<std::uint32_t>(block[at + 2]) << 16 |
           static_cast<std::uint32_t>(block[at + 3]) << 24;
  };
  const std::size_t length = u16(0) < block.size() ? u16(0) : block.size();
  const std::uint16_t value_length = u16(2);
  std::size_t at = 6;
  while (at + 1 < length && u16(at) != 0) at += 2;
  if (at + 1 >= length) return std::nullopt;
  at = (at + 2 + 3) & ~static_cast<std::size_t>(3);
  constexpr std::size_t kFixedInfoBytes = 52;
  if (value_length < kFixedInfoBytes || at + kFixedInfoBytes > length) return std::nullopt;
  if (u32(at) != kFixedFileInfoSignature) return std::nullopt;
  return FileVersionNumbers{u32(at + 8), u32(at + 12)};
}

}  // namespace velmora::os
