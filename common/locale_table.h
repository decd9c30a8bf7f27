// LocaleTable and StringIdBase: the interface language, as the base that
// localized string ids are numbered from.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Number of codes in the table (some appear twice; the first position wins).
inline constexpr int kLocaleTableSize = 71;
// The lower-case code at 1-based `position`.
const char* LocaleTableEntry(int position);

// 100 x the 1-based position of the first code equal to `code` (ignoring
// case), or 100 when none matches.
std::int32_t StringIdBaseOfCode(std::u16string_view code);
std::int32_t StringIdBaseOfCode(std::string_view code);

// The user default locale as "language-COUNTRY" ("%s-%s" of the ISO 639 and
// ISO 3166 names, 85 units each at most); empty when the system gives none.
std::u16string UserLocaleCode();

// The base of the interface language: the "Locale" value of the chosen hive
// when it can be read (the system locale is then not consulted), otherwise
// the user locale code.
std::int32_t ComputeStringIdBase();

// The packed locale code for telemetry: language[0] << 24 | language[1] << 16
// | country[0] << 8 | country[1], when both ISO names are exactly two letters
// (they fit a 3-unit request); otherwise 0.
std::uint32_t PackedUserLocaleCode();

}  // namespace velmora
