#include "foundation/os/locale.h"

#include "foundation/os/win32/win_util.h"

namespace velmora::os {
namespace {

bool GetLocaleName(LCTYPE type, std::string* name, int max_units) {
  wchar_t buffer[128];
  if (max_units <= 0 || max_units > static_cast<int>(std::size(buffer))) max_units = 128;
  // The count includes the terminator; 0 means the name did not fit.
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, max_units) == 0) return false;
  *name = win::Utf8(buffer);
  return true;
}

}  // namespace

bool GetUserLocaleLanguageName(std::string* language, int max_units) {
  return GetLocaleName(LOCALE_SISO639LANGNAME, language, max_units);
}

bool GetUserLocaleCountryName(std::string* country, int max_units) {
  return GetLocaleName(LOCALE_SISO3166CTRYNAME, country, max_units);
}

}  // namespace velmora::os
