// The manifest: one image of the install (every file with its size, MD5 and
// version), read from its text into a ManifestImage.
//
// The text is the XML-like notation of BlockReader with a fixed element and
// attribute order:
//   <Image Name Type Version Created Build Count>   Version must be "1.00"
//     <File Name Version Hash Size Count/>           Count is "0"
//     <Snap Name Version Hash Size Count>            Count Record children
//       <Record Name Hash Size SizeCompressed Time Offset/>
//   </Image>
// Image holds at most Count children (fewer are accepted). Every failure
// logs one line naming the step ("Error: reading ...\nFile: manifest\tLine:
// N\n") and the read fails.
//
// A manifest comes from the network, so every limit of the format is checked
// rather than trusted: texts longer than their fields, hashes that are not 32
// hexadecimal digits, names longer than 127 UTF-16 units, negative counts and
// Files with records fail the read. An entry name that would lead outside the
// install folder (see UnsafeEntryNameReason) fails the whole manifest, so
// that nothing of it is fetched or removed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "patcher/entry_name.h"
#include "patcher/md5.h"

namespace velmora::patcher {

// Image Name, Type, Version, Created and Build, and File/Snap Version, are
// 32-byte fields: at most 31 bytes of text.
inline constexpr std::size_t kManifestShortTextBytes = 31;
inline constexpr const char* kManifestFormatVersion = "1.00";

struct SnapRecord {
  std::u16string name;  // the record's name inside its archive
  std::uint32_t name_hash = 0;
  Md5Digest md5{};  // of the record's compressed bytes
  std::uint32_t size = 0;
  std::uint32_t compressed_size = 0;
};

// A File, or a Snap (an archive that carries records): one entry of an image.
struct ManifestFile {
  std::u16string name;  // relative to the install folder, as the manifest wrote it
  std::uint32_t name_hash = 0;
  std::string version;  // "%d.%d.%d.%d" for .dll and .exe files, else anything
  Md5Digest md5{};
  std::uint32_t size = 0;
  // Set by the install comparison when the file was found on disk; only
  // meaningful within that comparison.
  std::uint32_t processed = 0;
  std::int32_t record_count = 0;
  std::vector<SnapRecord> records;  // sorted by name hash
};

struct ManifestImage {
  std::string name, type, version, created, build;
  // After reading: the number of entries retained.
  std::int32_t entry_count = 0;
  // Sorted by name hash. Never resized after reading, so pointers to entries
  // stay valid as long as the image lives.
  std::vector<ManifestFile> entries;
};

// Reads `text` (up to its first NUL byte) into `image`, which should be
// empty. With a filter, only entries that FilterRetainsEntry keeps are
// retained. Logs "processing image, ..." once the Image attributes are read;
// a format version other than "1.00" then fails without a further line. On
// false the image may hold part of the entries; DestroyImage releases it.
[[nodiscard]] bool ReadManifest(std::string_view text, ManifestImage* image,
                                const EntryFilter* filter);

// Releases every entry and record and leaves the image empty (all zero).
void DestroyImage(ManifestImage* image);

// The entry whose name hash equals the hash of `name`, or null: a binary
// search over the sorted entries that stops at the first probe with an equal
// hash. Names are not compared, so two names with one hash are one entry.
ManifestFile* FindEntry(ManifestImage* image, std::u16string_view name);

// Decodes a hash text: an optional "0x" or "0X", then exactly 32 hexadecimal
// digits of either case.
[[nodiscard]] bool DecodeHashText(std::string_view text, Md5Digest* digest);

}  // namespace velmora::patcher
