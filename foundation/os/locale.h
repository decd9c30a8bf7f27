// The user's default locale.
#pragma once

#include <string>

namespace velmora::os {

// The user default locale's ISO 639 language name and ISO 3166 country name
// (LOCALE_SISO639LANGNAME / LOCALE_SISO3166CTRYNAME). `max_units` is the
// buffer the caller asks with, terminator included; a name that does not fit
// fails that name. POSIX: taken from LC_ALL, LC_MESSAGES or LANG (first one
// set), in the form language_COUNTRY[.codeset][@modifier]; "C" and "POSIX"
// have no names.
[[nodiscard]] bool GetUserLocaleLanguageName(std::string* language, int max_units);
[[nodiscard]] bool GetUserLocaleCountryName(std::string* country, int max_units);

}  // namespace velmora::os
