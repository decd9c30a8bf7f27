// Rules for the names of manifest entries: the name hash that identifies an
// entry, the entry filter of a patch pass, and the safety rule that keeps a
// manifest from naming anything outside the install folder.
//
// Names are UTF-16 texts relative to the install folder; "\" and "/" are both
// separators.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::patcher {

// Longest entry or record name, in UTF-16 units (a 128-unit field with its
// terminator).
inline constexpr std::size_t kMaxEntryNameUnits = 127;

bool IsNameSeparator(char16_t unit);

// The simple Unicode lower-case mapping of one UTF-16 unit (U+0130 maps to
// "i"); units without a lower-case form, surrogates included, are returned as
// they are. The same table on every platform, so that name hashes and filters
// agree between Windows and Linux installs.
char16_t LowerCaseUnit(char16_t unit);

// 32-bit FNV-1 over the units of `name`, each lower-cased and with "\" turned
// into "/": Data\Foo.DLL and data/foo.dll hash alike. Names are never compared
// beyond this hash.
std::uint32_t NameHash(std::u16string_view name);

// A prefix path and an exclude flag. The patch run keeps only the launcher
// folder with {launcher\, false} and everything else with {launcher\, true}.
struct EntryFilter {
  std::u16string prefix;
  bool exclude = false;
};

// Whether `name` lies under `prefix`: both texts are stepped through together,
// lower-cased, with "\" equal to "/" and a run of separators counting as one;
// true when the whole prefix was consumed. "launcher\" covers launcher\x.dll
// and launcher//x.dll but not launchers\x.dll or "launcher".
bool LiesUnderPrefix(std::u16string_view name, std::u16string_view prefix);

// The prefix rule alone (used for local files by the install comparison): the
// prefix is empty, or whether the name lies under it differs from `exclude`.
bool FilterRetainsByPrefix(const EntryFilter& filter, std::u16string_view name);

// Both rules (used for manifest entries): the prefix rule, and the name does
// not end with launcher\NewLauncher.exe (same character rules), a file that no
// manifest may list.
bool FilterRetainsEntry(const EntryFilter& filter, std::u16string_view name);

// Why an entry name must not be used as a path under the install folder, or
// null when it is safe. Refused: an empty name; a name that starts with a
// separator (absolute, rooted or UNC); any ":" (drive letters, alternate data
// streams); control characters and < > " | ? *; a trailing separator; a "." or
// ".." component or one ending in a dot or a blank (Windows drops those, so
// "a.dll." would alias "a.dll"); a Windows device name as a component's stem
// (CON, PRN, AUX, NUL, COM0-9, LPT0-9, COM/LPT with superscript digits,
// CONIN$, CONOUT$), with any extension. Doubled separators are allowed.
const char* UnsafeEntryNameReason(std::u16string_view name);

}  // namespace velmora::patcher
