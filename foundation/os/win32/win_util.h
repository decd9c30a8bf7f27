// Helpers shared by the Win32 backend.
#pragma once

#include <windows.h>

#include <string>

#include "foundation/text/utf.h"

namespace velmora::os::win {

inline std::wstring Wide(const std::string& utf8) {
  const std::u16string u16 = Utf8ToUtf16(utf8);
  return std::wstring(u16.begin(), u16.end());
}
inline std::wstring Wide(const std::u16string& u16) { return std::wstring(u16.begin(), u16.end()); }
inline std::u16string U16(const wchar_t* text) {
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}
inline std::string Utf8(const wchar_t* text) { return Utf16ToUtf8(U16(text)); }

// FormatMessage text of a system error code, for logs.
inline std::string SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length ? Utf8(buffer) : "error " + std::to_string(code);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace velmora::os::win
