#include "patcher/manifest.h"

#include <algorithm>

#include "core/launcher_log.h"
#include "foundation/text/utf.h"
#include "patcher/block_reader.h"

namespace velmora::patcher {
namespace {

// Names arrive in a 1024-byte temporary; Time in 256 bytes.
constexpr std::size_t kNameBytes = 1023;
constexpr std::size_t kTimeBytes = 255;
constexpr std::size_t kHashBytes = 1023;

// The reader's failure lines carry the place in the reader that failed, so
// that a log tells which step of a manifest was wrong.
bool LogReadFailure(const char* message, int line) {
  LauncherLog::Printf("%s\nFile: %s\tLine: %d\n", message, "manifest", line);
  return false;
}

// Where each kind of entry logs its failures: Files and Snaps report the
// same steps at different places.
struct EntryLines {
  int name, version, hash, size, count, close;
};
constexpr EntryLines kFileLines = {155, 158, 159, 161, 163, 165};
constexpr EntryLines kSnapLines = {172, 175, 176, 178, 180, 205};

enum class NameCheck { kOk, kTooLong };

NameCheck ConvertName(const std::string& utf8, std::u16string* name, std::uint32_t* hash) {
  *name = Utf8ToUtf16(utf8);
  if (name->size() > kMaxEntryNameUnits) return NameCheck::kTooLong;
  *hash = NameHash(*name);
  return NameCheck::kOk;
}

bool LogNameTooLong(const std::string& utf8) {
  LauncherLog::Printf("Error: manifest name \"%s\" is longer than %d UTF-16 units.\r\n",
                      utf8.c_str(), static_cast<int>(kMaxEntryNameUnits));
  return false;
}

bool ReadRecord(BlockReader& reader, SnapRecord* record) {
  if (!reader.OpenElement("Record")) return LogReadFailure("Error: reading open block. \"Record\".", 187);
  std::string text;
  if (!reader.ReadTextAttribute("Name", &text, kNameBytes))
    return LogReadFailure("Error: reading string, \"Name\" into \"temp\".", 190);
  if (ConvertName(text, &record->name, &record->name_hash) != NameCheck::kOk)
    return LogNameTooLong(text);
  if (!reader.ReadTextAttribute("Hash", &text, kHashBytes) || !DecodeHashText(text, &record->md5))
    return LogReadFailure("Error: reading string, \"Hash\" into \"hash\".", 193);
  if (!reader.ReadNumberAttribute("Size", &record->size))
    return LogReadFailure(
        "Error: reading int, \"Size\" into \"pImage->files[i].snap_files[j].size\".", 195);
  if (!reader.ReadNumberAttribute("SizeCompressed", &record->compressed_size))
    return LogReadFailure(
        "Error: reading int, \"SizeCompressed\" into "
        "\"pImage->files[i].snap_files[j].sizeCompressed\".",
        196);
  if (!reader.ReadTextAttribute("Time", &text, kTimeBytes))
    return LogReadFailure("Error: reading string, \"Time\" into \"value\".", 197);
  std::uint32_t offset = 0;  // required by the format, not used by the launcher
  if (!reader.ReadNumberAttribute("Offset", &offset))
    return LogReadFailure(
        "Error: reading int, \"Offset\" into \"pImage->files[i].snap_files[j].offset\".", 201);
  if (!reader.CloseElement("Record"))
    return LogReadFailure("Error: reading close block. \"Record\".", 203);
  return true;
}

// The five attributes that Files and Snaps share, after the element opened.
bool ReadEntryAttributes(BlockReader& reader, const EntryLines& lines, ManifestFile* entry,
                         std::string* utf8_name) {
  if (!reader.ReadTextAttribute("Name", utf8_name, kNameBytes))
    return LogReadFailure("Error: reading string, \"Name\" into \"temp\".", lines.name);
  if (ConvertName(*utf8_name, &entry->name, &entry->name_hash) != NameCheck::kOk)
    return LogNameTooLong(*utf8_name);
  if (!reader.ReadTextAttribute("Version", &entry->version, kManifestShortTextBytes))
    return LogReadFailure(
        "Error: reading string, \"Version\" into \"pImage->files[i].version\".", lines.version);
  std::string hash;
  if (!reader.ReadTextAttribute("Hash", &hash, kHashBytes) || !DecodeHashText(hash, &entry->md5))
    return LogReadFailure("Error: reading string, \"Hash\" into \"hash\".", lines.hash);
  if (!reader.ReadNumberAttribute("Size", &entry->size))
    return LogReadFailure("Error: reading int, \"Size\" into \"pImage->files[i].size\".",
                          lines.size);
  if (!reader.ReadCountAttribute(&entry->record_count) || entry->record_count < 0)
    return LogReadFailure(
        "Error: reading int, \"Count\" into \"pImage->files[i].snap_count\".", lines.count);
  return true;
}

bool ReadFileEntry(BlockReader& reader, ManifestFile* entry, std::string* utf8_name) {
  if (!ReadEntryAttributes(reader, kFileLines, entry, utf8_name)) return false;
  if (entry->record_count != 0)  // a File has no records
    return LogReadFailure(
        "Error: reading int, \"Count\" into \"pImage->files[i].snap_count\".", kFileLines.count);
  if (!reader.CloseElement("File")) return LogReadFailure("Error: reading close block. \"File\".", 165);
  return true;
}

bool ReadSnapEntry(BlockReader& reader, std::size_t text_size, ManifestFile* entry,
                   std::string* utf8_name) {
  if (!ReadEntryAttributes(reader, kSnapLines, entry, utf8_name)) return false;
  // Every record takes far more than 16 bytes of text, so this bound only
  // keeps a forged count from reserving memory that the text cannot fill.
  entry->records.reserve(std::min<std::size_t>(static_cast<std::size_t>(entry->record_count),
                                               text_size / 16));
  for (std::int32_t j = 0; j < entry->record_count; ++j) {
    SnapRecord record;
    if (!ReadRecord(reader, &record)) return false;
    entry->records.push_back(std::move(record));
  }
  if (!reader.CloseElement("Snap")) return LogReadFailure("Error: reading close block. \"Snap\".", 205);
  return true;
}

}  // namespace

bool DecodeHashText(std::string_view text, Md5Digest* digest) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  if (text.size() != 32) return false;
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  Md5Digest decoded;
  for (std::size_t i = 0; i < 16; ++i) {
    const int high = digit(text[2 * i]);
    const int low = digit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    decoded[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  *digest = decoded;
  return true;
}

bool ReadManifest(std::string_view text, ManifestImage* image, const EntryFilter* filter) {
  BlockReader reader;
  if (!reader.Begin(text) || !reader.OpenElement("Image"))
    return LogReadFailure("Error: reading open block. \"Image\".", 134);
  if (!reader.ReadTextAttribute("Name", &image->name, kManifestShortTextBytes))
    return LogReadFailure("Error: reading string, \"Name\" into \"pImage->name\".", 135);
  if (!reader.ReadTextAttribute("Type", &image->type, kManifestShortTextBytes))
    return LogReadFailure("Error: reading string, \"Type\" into \"pImage->type\".", 136);
  if (!reader.ReadTextAttribute("Version", &image->version, kManifestShortTextBytes))
    return LogReadFailure("Error: reading string, \"Version\" into \"pImage->version\".", 137);
  if (!reader.ReadTextAttribute("Created", &image->created, kManifestShortTextBytes))
    return LogReadFailure("Error: reading string, \"Created\" into \"pImage->created\".", 138);
  if (!reader.ReadTextAttribute("Build", &image->build, kManifestShortTextBytes))
    return LogReadFailure("Error: reading string, \"Build\" into \"pImage->build\".", 139);
  if (!reader.ReadCountAttribute(&image->entry_count) || image->entry_count < 0)
    return LogReadFailure("Error: reading int, \"Count\" into \"pImage->count\".", 140);

  LauncherLog::PrintfWide(
      u"processing image, \"%hs\", type, \"%hs\", version, \"%hs\", created \"%hs\", build, "
      u"\"%hs\"...\r\n",
      image->name.c_str(), image->type.c_str(), image->version.c_str(), image->created.c_str(),
      image->build.c_str());
  if (image->version != kManifestFormatVersion) return false;

  // Every entry takes far more than 16 bytes of text; see ReadSnapEntry.
  image->entries.reserve(std::min<std::size_t>(static_cast<std::size_t>(image->entry_count),
                                               text.size() / 16));
  std::int32_t retained = 0;
  while (retained < image->entry_count) {
    ManifestFile entry;
    std::string utf8_name;
    if (reader.OpenElement("File")) {
      if (!ReadFileEntry(reader, &entry, &utf8_name)) return false;
    } else if (reader.OpenElement("Snap")) {
      if (!ReadSnapEntry(reader, text.size(), &entry, &utf8_name)) return false;
    } else {
      // Fewer children than Count. Nothing was consumed, so no later try
      // would open anything either: each would only lower the count by one.
      // Lower it to what was read at once, so that a forged Count costs
      // nothing.
      image->entry_count = retained;
      break;
    }
    if (const char* reason = UnsafeEntryNameReason(entry.name)) {
      LauncherLog::Printf(
          "Error: manifest entry \"%s\" is refused: %s would lead outside the install folder.\r\n",
          utf8_name.c_str(), reason);
      return false;
    }
    if (filter && !FilterRetainsEntry(*filter, entry.name)) {
      --image->entry_count;  // the next child takes this slot
      continue;
    }
    image->entries.push_back(std::move(entry));
    ++retained;
  }
  if (!reader.CloseElement("Image")) return LogReadFailure("Error: reading close block. \"Image\".", 225);

  auto by_hash = [](const auto& a, const auto& b) { return a.name_hash < b.name_hash; };
  std::stable_sort(image->entries.begin(), image->entries.end(), by_hash);
  for (ManifestFile& entry : image->entries)
    std::stable_sort(entry.records.begin(), entry.records.end(), by_hash);
  return true;
}

void DestroyImage(ManifestImage* image) {
  if (!image) return;
  *image = ManifestImage{};
}

ManifestFile* FindEntry(ManifestImage* image, std::u16string_view name) {
  if (!image || image->entries.empty()) return nullptr;
  const std::uint32_t hash = NameHash(name);
  std::int64_t low = 0;
  std::int64_t high = static_cast<std::int64_t>(image->entries.size()) - 1;
  while (low <= high) {
    const std::int64_t middle = (low + high) / 2;
    ManifestFile& probe = image->entries[static_cast<std::size_t>(middle)];
    if (probe.name_hash == hash) return &probe;
    if (probe.name_hash < hash)
      low = middle + 1;
    else
      high = middle - 1;
  }
  return nullptr;
}

}  // namespace velmora::patcher
