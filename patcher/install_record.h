// The patcher's values in the registry, under the product key in the hive
// that InstallRegistryRoot chooses (decided anew at every access):
//   Manifest\name, type, version, gameversion, created, build (texts) and
//   Manifest\count (number): the install record of the last run that ended
//   in success; Manifest\version is "0.0.0" while files may be changing;
//   Manifest\runcount: how often the patcher was started;
//   LastPatch: when the last download step succeeded (seconds since 1970).
// Registry failures never stop a patch run: reads fall back to 0, and the
// callers decide what a failed write means.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::patcher {

// Each text holds at most 31 bytes when read (32-byte fields).
struct InstallRecord {
  std::string name;         // the environment name
  std::string type;         // the environment name
  std::string version;      // the installed launcher build, or "0.0.0"
  std::string gameversion;  // the installed game build
  std::string created;
  std::string build;
  std::uint32_t count = 0;  // the version reply's launcher action value
};

inline constexpr const char* kPlaceholderVersion = "0.0.0";

// Sets the crash state WRITING_REGISTRY, then writes name, type, version,
// gameversion, created, build and count in this order, stopping at the first
// write that fails (the earlier values stay written). True when all seven
// were written.
[[nodiscard]] bool WriteInstallRecord(const InstallRecord& record);

// Sets the crash state READING_REGISTRY, then reads name, type, version,
// created, build (each into a 32-byte field) and count, and with
// `with_game_version` also gameversion into a field of `game_version_bytes`
// bytes. True only when every requested value was read; a failed gameversion
// read gives false at once.
[[nodiscard]] bool ReadInstallRecord(InstallRecord* record, bool with_game_version = false,
                                     std::size_t game_version_bytes = 32);

// Writes "0.0.0" to Manifest\version, before any step that changes files.
[[nodiscard]] bool ResetInstalledVersion();

// Reads Manifest\runcount (logging "Unable to fetch run count" and taking 0
// when it cannot), adds one, writes it back (logging "Unable to increment run
// count." when that fails) and returns the new value.
std::int32_t IncrementRunCount();

// LastPatch, or 0 when it cannot be read.
std::uint32_t ReadLastPatch();
// Writes the low 32 bits of `seconds_since_1970`.
[[nodiscard]] bool WriteLastPatch(std::int64_t seconds_since_1970);

}  // namespace velmora::patcher
