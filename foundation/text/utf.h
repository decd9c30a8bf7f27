// Conversions between UTF-8 and UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Standard conversions: surrogate pairs are combined, and malformed input is
// replaced by U+FFFD, never dropped silently.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Case-insensitive comparison of ASCII letters (other units compare as is).
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);
char ToLowerAscii(char c);
char16_t ToLowerAscii(char16_t c);

}  // namespace velmora
