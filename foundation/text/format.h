// printf-style formatting with the launcher's conventions on every platform.
//
// Narrow formats: "%s" is a UTF-8 text (const char*), "%ls" a UTF-16 text
// (const char16_t*), written as UTF-8. Wide formats: "%s" and "%ls" are
// UTF-16 texts, "%hs" a UTF-8 text. In both: "%I64d" / "%I64u" / "%I64x" are
// 64-bit integers, "%lld" / "%llu" too; "%d %i %u %x %X %o %c %p %f %e %g %%",
// the flags "-+ 0#", a width and a precision (also "*"), and the length
// modifiers "h", "hh", "l", "z" are understood as in C. A null text prints
// "(null)". An unknown conversion is copied as it stands.
#pragma once

#include <cstdarg>
#include <string>

namespace velmora {

std::string FormatText(const char* format, ...);
std::string FormatTextV(const char* format, va_list args);
std::u16string FormatWide(const char16_t* format, ...);
std::u16string FormatWideV(const char16_t* format, va_list args);

}  // namespace velmora
