#include "common/locale_table.h"

#include "common/registry_path.h"
#include "foundation/os/locale.h"
#include "foundation/text/utf.h"

namespace velmora {
namespace {

// Order matters: the position gives the string-id base, and a code listed
// twice is found at its first position.
constexpr const char* kLocaleTable[kLocaleTableSize] = {
    "en-us", "sq-al", "ar-sa", "ar-sa", "ar-iq", "ar-eg", "ar-ly", "ar-dz", "ar-ma", "ar-pk",
    "ar-sy", "ar-ae", "zh-cn", "zh-tw", "zh-cn", "zh-hk", "zh-sg", "zh-tw", "zh-cn", "cs-cz",
    "da-dk", "nl-nl", "nl-nl", "nl-be", "en-us", "en-gb", "en-us", "en-au", "en-ca", "en-nz",
    "fi-fi", "fr-fr", "fr-fr", "fr-be", "fr-ca", "fr-ch", "de-de", "de-de", "de-ch", "de-at",
    "el-gr", "iw-il", "hu-hu", "is-is", "it-it", "it-it", "it-ch", "ja-jp", "ko-kr", "ko-kr",
    "no-no", "no-no", "no-no", "pl-pl", "pt-br", "pt-br", "pt-pt", "ro-ro", "ru-ru", "sk-sk",
    "es-es", "es-es", "es-mx", "es-es", "sv-se", "sv-se", "sv-fi", "th-th", "tl-ph", "tr-tr",
    "vi-vn",
};

constexpr int kIsoNameUnits = 85;

}  // namespace

const char* LocaleTableEntry(int position) {
  if (position < 1 || position > kLocaleTableSize) return nullptr;
  return kLocaleTable[position - 1];
}

std::int32_t StringIdBaseOfCode(std::string_view code) {
  for (int i = 0; i < kLocaleTableSize; ++i)
    if (EqualsIgnoreAsciiCase(code, kLocaleTable[i])) return 100 * (i + 1);
  return 100;
}

std::int32_t StringIdBaseOfCode(std::u16string_view code) {
  return StringIdBaseOfCode(Utf16ToUtf8(code));
}

std::u16string UserLocaleCode() {
  std::string language, country;
  if (!os::GetUserLocaleLanguageName(&language, kIsoNameUnits)) language.clear();
  if (!os::GetUserLocaleCountryName(&country, kIsoNameUnits)) country.clear();
  if (language.empty() && country.empty()) return {};
  return Utf8ToUtf16(language + "-" + country);
}

std::int32_t ComputeStringIdBase() {
  static const std::u16string kUserPath = u"HKEY_CURRENT_USER\\Software\\Corvane\\Velmora\\Locale";
  static const std::u16string kMachinePath =
      u"HKEY_LOCAL_MACHINE\\Software\\Corvane\\Velmora\\Locale";
  const std::u16string& path = InstallRegistryRoot(kUserPath, kMachinePath);
  std::u16string locale;
  if (ReadRegistryTextWide(path, &locale)) return StringIdBaseOfCode(locale);
  return StringIdBaseOfCode(UserLocaleCode());
}

std::uint32_t PackedUserLocaleCode() {
  // A 3-unit request fits two letters and the terminator; a three-letter
  // ISO 639 name does not fit, and the code is then 0.
  std::string language, country;
  if (!os::GetUserLocaleLanguageName(&language, 3) || !os::GetUserLocaleCountryName(&country, 3))
    return 0;
  if (language.size() != 2 || country.size() != 2) return 0;
  auto byte = [](char c) { return static_cast<std::uint32_t>(static_cast<unsigned char>(c)); };
  return byte(language[0]) << 24 | byte(language[1]) << 16 | byte(country[0]) << 8 |
         byte(country[1]);
}

}  // namespace velmora
