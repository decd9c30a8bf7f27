#include "patcher/fuzz/manifest_fuzz_input.h"

#include <string_view>

#include "foundation/os/file_io.h"
#include "patcher/block_reader.h"
#include "patcher/entry_name.h"
#include "patcher/file_actions.h"
#include "patcher/manifest.h"

namespace velmora::patcher {
namespace {

std::string CheckImage(ManifestImage& image, const EntryFilter* filter) {
  if (image.entry_count != static_cast<std::int32_t>(image.entries.size()))
    return "entry count differs from the entries kept";
  if (image.version != kManifestFormatVersion) return "accepted a format version other than 1.00";
  for (std::size_t i = 0; i < image.entries.size(); ++i) {
    const ManifestFile& entry = image.entries[i];
    if (i > 0 && image.entries[i - 1].name_hash > entry.name_hash) return "entries not sorted";
    if (entry.name.size() > kMaxEntryNameUnits) return "entry name over 127 units";
    if (entry.name_hash != NameHash(entry.name)) return "stale name hash";
    if (UnsafeEntryNameReason(entry.name)) return "unsafe entry name accepted";
    if (filter && !FilterRetainsEntry(*filter, entry.name)) return "filtered entry kept";
    if (entry.version.size() > kManifestShortTextBytes) return "version over 31 bytes";
    if (entry.record_count != static_cast<std::int32_t>(entry.records.size()))
      return "record count differs from the records read";
    for (std::size_t j = 1; j < entry.records.size(); ++j)
      if (entry.records[j - 1].name_hash > entry.records[j].name_hash) return "records not sorted";
    const ManifestFile* found = FindEntry(&image, entry.name);
    if (!found || found->name_hash != entry.name_hash) return "lookup misses a kept entry";

    // Whatever the manifest says, its files land inside the install folder.
    std::u16string base = u"base";
    base.push_back(os::NativePathSeparator());
    base += u"install";
    std::u16string destination;
    if (DestinationOf(entry.name, nullptr, &destination, base)) {
      if (destination.compare(0, base.size(), base) != 0 || destination.size() <= base.size() + 1 ||
          !IsNameSeparator(destination[base.size()]))
        return "destination outside the install folder";
      for (std::size_t at = 0; (at = destination.find(u"..", at)) != std::u16string::npos; ++at) {
        const bool starts = IsNameSeparator(destination[at - 1]);
        const bool ends = at + 2 == destination.size() || IsNameSeparator(destination[at + 2]);
        if (starts && ends) return "destination with a \"..\" component";
      }
    }
  }
  return {};
}

// Walks every element with the generic operations. Each failed operation
// must leave the reader where it was.
std::string WalkElements(BlockReader& reader, int budget) {
  for (int step = 0; step < budget; ++step) {
    const std::size_t before = reader.offset();
    const int depth = reader.depth();
    std::string_view name;
    if (!reader.OpenAnyElement(&name)) {
      if (reader.offset() != before || reader.depth() != depth) return "failed open moved the cursor";
      return {};
    }
    if (reader.depth() > BlockReader::kMaxDepth) return "depth beyond the limit";
    if (name.empty()) return "element with an empty name";
    const std::size_t in_tag = reader.offset();
    std::string text;
    float decimal = 0;
    std::int32_t integer = 0;
    switch (step % 4) {
      case 0:
        if (!reader.ReadTextContent(&text, 127) && reader.offset() != in_tag)
          return "failed text content moved the cursor";
        break;
      case 1:
        if (!reader.ReadDecimalContent(&decimal) && reader.offset() != in_tag)
          return "failed decimal content moved the cursor";
        break;
      case 2:
        if (!reader.ReadIntegerContent(&integer) && reader.offset() != in_tag)
          return "failed integer content moved the cursor";
        break;
      default:
        if (!reader.SkipAttributes()) return {};
        break;
    }
    if (!reader.SkipContent()) return {};
    if (!reader.CloseAnyElement()) return {};
    if (reader.depth() != depth) return "close left the depth changed";
  }
  return {};
}

}  // namespace

std::string ExerciseManifestReader(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const EntryFilter launcher_only{u"launcher\\", false};
  const EntryFilter all_but_launcher{u"launcher\\", true};
  const EntryFilter* filters[] = {nullptr, &launcher_only, &all_but_launcher};
  for (const EntryFilter* filter : filters) {
    ManifestImage image;
    if (ReadManifest(text, &image, filter)) {
      const std::string broken = CheckImage(image, filter);
      if (!broken.empty()) return broken;
    }
    DestroyImage(&image);
    if (!image.entries.empty() || image.entry_count != 0) return "destroy left entries";
  }

  BlockReader reader;
  if (reader.Begin(text)) {
    const std::string broken = WalkElements(reader, 64);
    if (!broken.empty()) return broken;
    if (reader.offset() > text.size()) return "cursor beyond the text";
  }
  return {};
}

}  // namespace velmora::patcher
