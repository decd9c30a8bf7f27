#include "foundation/os/locale.h"

#include "foundation/os/environment.h"

namespace velmora::os {
namespace {

// The locale name in force for messages: LC_ALL, then LC_MESSAGES, then LANG.
std::string LocaleName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (auto value = GetEnvironmentValue(name); value && !value->empty()) return *value;
  }
  return {};
}

// Splits "language_COUNTRY.codeset@modifier".
bool SplitLocale(std::string* language, std::string* country) {
  std::string name = LocaleName();
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return false;
  const auto underscore = name.find('_');
  *language = name.substr(0, underscore);
  *country = underscore == std::string::npos ? std::string() : name.substr(underscore + 1);
  return !language->empty();
}

}  // namespace

bool GetUserLocaleLanguageName(std::string* language, int max_units) {
  std::string lang, country;
  if (!SplitLocale(&lang, &country)) return false;
  if (static_cast<int>(lang.size()) + 1 > max_units) return false;
  *language = lang;
  return true;
}

bool GetUserLocaleCountryName(std::string* country_out, int max_units) {
  std::string lang, country;
  if (!SplitLocale(&lang, &country) || country.empty()) return false;
  if (static_cast<int>(country.size()) + 1 > max_units) return false;
  *country_out = country;
  return true;
}

}  // namespace velmora::os
