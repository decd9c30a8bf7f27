// UTF-8 and UTF-16 conversions of the library (it is a separate deliverable
// and carries its own).
#pragma once

#include <string>
#include <string_view>

namespace velmora::orvwebkit {

// Malformed input (a bad UTF-8 sequence, a lone surrogate) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace velmora::orvwebkit
