#include "patcher/install_record.h"

#include "common/registry_path.h"
#include "core/launcher_log.h"
#include "diagnostics/crash_state.h"

namespace velmora::patcher {
namespace {

constexpr std::size_t kFieldBytes = 32;

bool WriteText(const char* value, const std::string& text) {
  return WriteRegistryText(ProductValuePath(value), text);
}

bool ReadText(const char* value, std::string* text, std::size_t buffer_bytes = kFieldBytes) {
  return ReadRegistryText(ProductValuePath(value), text, buffer_bytes);
}

}  // namespace

bool WriteInstallRecord(const InstallRecord& record) {
  SetCrashState(WRITING_REGISTRY);
  return WriteText("Manifest\\name", record.name) && WriteText("Manifest\\type", record.type) &&
         WriteText("Manifest\\version", record.version) &&
         WriteText("Manifest\\gameversion", record.gameversion) &&
         WriteText("Manifest\\created", record.created) &&
         WriteText("Manifest\\build", record.build) &&
         WriteRegistryNumber(ProductValuePath("Manifest\\count"), record.count);
}

bool ReadInstallRecord(InstallRecord* record, bool with_game_version,
                       std::size_t game_version_bytes) {
  SetCrashState(READING_REGISTRY);
  bool all = true;
  all &= ReadText("Manifest\\name", &record->name);
  all &= ReadText("Manifest\\type", &record->type);
  all &= ReadText("Manifest\\version", &record->version);
  all &= ReadText("Manifest\\created", &record->created);
  all &= ReadText("Manifest\\build", &record->build);
  all &= ReadRegistryNumber(ProductValuePath("Manifest\\count"), &record->count);
  if (with_game_version &&
      !ReadText("Manifest\\gameversion", &record->gameversion, game_version_bytes))
    return false;
  return all;
}

bool ResetInstalledVersion() { return WriteText("Manifest\\version", kPlaceholderVersion); }

std::int32_t IncrementRunCount() {
  std::uint32_t count = 0;
  if (!ReadRegistryNumber(ProductValuePath("Manifest\\runcount"), &count)) {
    LauncherLog::Write("Unable to fetch run count\r\n");
    count = 0;
  }
  ++count;
  if (!WriteRegistryNumber(ProductValuePath("Manifest\\runcount"), count))
    LauncherLog::Write("Unable to increment run count.\r\n");
  return static_cast<std::int32_t>(count);
}

std::uint32_t ReadLastPatch() {
  std::uint32_t value = 0;
  if (!ReadRegistryNumber(ProductValuePath("LastPatch"), &value)) return 0;
  return value;
}

bool WriteLastPatch(std::int64_t seconds_since_1970) {
  return WriteRegistryNumber(ProductValuePath("LastPatch"),
                             static_cast<std::uint32_t>(seconds_since_1970));
}

}  // namespace velmora::patcher
