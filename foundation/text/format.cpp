#include "foundation/text/format.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "foundation/text/utf.h"

namespace velmora {
namespace {

enum class Length { kNone, kChar, kShort, kLong, kLongLong, kSize, kLongDouble, kWide };

// Text conversions in a wide format take UTF-16 unless "h" asks for UTF-8;
// in a narrow format they take UTF-8 unless "l"/"w" asks for UTF-16.
template <typename Ch>
constexpr bool kIsWideFormat = sizeof(Ch) == 2;

template <typename Ch>
void AppendAscii(const std::string& ascii, std::basic_string<Ch>* out) {
  for (char c : ascii) out->push_back(static_cast<Ch>(static_cast<unsigned char>(c)));
}

template <typename Ch>
void AppendPadded(const std::basic_string<Ch>& body, int width, bool left,
                  std::basic_string<Ch>* out) {
  const int pad = width > static_cast<int>(body.size()) ? width - static_cast<int>(body.size()) : 0;
  if (!left) out->append(static_cast<std::size_t>(pad), static_cast<Ch>(' '));
  out->append(body);
  if (left) out->append(static_cast<std::size_t>(pad), static_cast<Ch>(' '));
}

template <typename Ch>
std::basic_string<Ch> FormatImpl(const Ch* format, va_list args) {
  std::basic_string<Ch> out;
  if (!format) return out;
  const Ch* p = format;
  while (*p) {
    if (*p != '%') {
      out.push_back(*p++);
      continue;
    }
    const Ch* start = p++;
    if (*p == '%') {
      out.push_back(static_cast<Ch>('%'));
      ++p;
      continue;
    }
    std::string flags;
    while (*p == '-' || *p == '+' || *p == ' ' || *p == '0' || *p == '#')
      flags.push_back(static_cast<char>(*p++));
    int width = -1;
    if (*p == '*') {
      width = va_arg(args, int);
      if (width < 0) {
        flags.push_back('-');
        width = -width;
      }
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') width = (width < 0 ? 0 : width * 10) + (*p++ - '0');
    }
    int precision = -1;
    if (*p == '.') {
      ++p;
      precision = 0;
      if (*p == '*') {
        precision = va_arg(args, int);
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') precision = precision * 10 + (*p++ - '0');
      }
    }
    Length length = Length::kNone;
    bool narrow_text = false;  // "h" on a text conversion
    if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
      length = Length::kLongLong;
      p += 3;
    } else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
      p += 3;
    } else if (p[0] == 'I') {
      length = Length::kSize;
      ++p;
    } else if (p[0] == 'h' && p[1] == 'h') {
      length = Length::kChar;
      p += 2;
    } else if (p[0] == 'h') {
      length = Length::kShort;
      narrow_text = true;
      ++p;
    } else if (p[0] == 'l' && p[1] == 'l') {
      length = Length::kLongLong;
      p += 2;
    } else if (p[0] == 'l' || p[0] == 'w') {
      length = p[0] == 'w' ? Length::kWide : Length::kLong;
      ++p;
    } else if (p[0] == 'z' || p[0] == 't') {
      length = Length::kSize;
      ++p;
    } else if (p[0] == 'j') {
      length = Length::kLongLong;
      ++p;
    } else if (p[0] == 'L') {
      length = Length::kLongDouble;
      ++p;
    }
    const Ch conversion = *p;
    if (!conversion) {
      out.append(start, p);
      break;
    }
    ++p;
    const bool left = flags.find('-') != std::string::npos;

    std::string conversion_spec = "%" + flags;
    if (width >= 0) conversion_spec += std::to_string(width);
    if (precision >= 0) conversion_spec += "." + std::to_string(precision);
    char buffer[512];

    switch (conversion) {
      case 'd':
      case 'i': {
        long long value;
        switch (length) {
          case Length::kLongLong: value = va_arg(args, long long); break;
          case Length::kLong: value = va_arg(args, long); break;
          case Length::kSize: value = static_cast<long long>(va_arg(args, std::ptrdiff_t)); break;
          case Length::kShort: value = static_cast<short>(va_arg(args, int)); break;
          case Length::kChar: value = static_cast<signed char>(va_arg(args, int)); break;
          default: value = va_arg(args, int); break;
        }
        std::snprintf(buffer, sizeof buffer, (conversion_spec + "lld").c_str(), value);
        AppendAscii(buffer, &out);
        break;
      }
      case 'u':
      case 'o':
      case 'x':
      case 'X': {
        unsigned long long value;
        switch (length) {
          case Length::kLongLong: value = va_arg(args, unsigned long long); break;
          case Length::kLong: value = va_arg(args, unsigned long); break;
          case Length::kSize: value = va_arg(args, std::size_t); break;
          case Length::kShort: value = static_cast<unsigned short>(va_arg(args, unsigned)); break;
          case Length::kChar: value = static_cast<unsigned char>(va_arg(args, unsigned)); break;
          default: value = va_arg(args, unsigned); break;
        }
        std::snprintf(buffer, sizeof buffer, (conversion_spec + "ll" + static_cast<char>(conversion)).c_str(),
                      value);
        AppendAscii(buffer, &out);
        break;
      }
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A': {
        // Long doubles are narrowed: no caller needs more than double.
        const double value = length == Length::kLongDouble
                                 ? static_cast<double>(va_arg(args, long double))
                                 : va_arg(args, double);
        std::snprintf(buffer, sizeof buffer, (conversion_spec + static_cast<char>(conversion)).c_str(), value);
        AppendAscii(buffer, &out);
        break;
      }
      case 'p': {
        std::snprintf(buffer, sizeof buffer, "%p", va_arg(args, void*));
        std::basic_string<Ch> body;
        AppendAscii(buffer, &body);
        AppendPadded(body, width, left, &out);
        break;
      }
      case 'c': {
        const int value = va_arg(args, int);
        std::basic_string<Ch> body;
        if constexpr (kIsWideFormat<Ch>) {
          body.push_back(static_cast<Ch>(narrow_text ? static_cast<unsigned char>(value) : value));
        } else if (length == Length::kLong || length == Length::kWide) {
          const char16_t unit = static_cast<char16_t>(value);
          body = Utf16ToUtf8(std::u16string_view(&unit, 1));
        } else {
          body.push_back(static_cast<char>(value));
        }
        AppendPadded(body, width, left, &out);
        break;
      }
      case 's':
      case 'S': {
        bool utf16_argument;
        if constexpr (kIsWideFormat<Ch>) {
          utf16_argument = !narrow_text;
        } else {
          utf16_argument = length == Length::kLong || length == Length::kWide || conversion == 'S';
        }
        std::basic_string<Ch> body;
        if (utf16_argument) {
          const char16_t* text = va_arg(args, const char16_t*);
          std::u16string_view view = text ? std::u16string_view(text) : std::u16string_view(u"(null)");
          if (precision >= 0 && static_cast<std::size_t>(precision) < view.size())
            view = view.substr(0, static_cast<std::size_t>(precision));
          if constexpr (kIsWideFormat<Ch>) {
            body.assign(view.begin(), view.end());
          } else {
            body = Utf16ToUtf8(view);
          }
        } else {
          const char* text = va_arg(args, const char*);
          std::string_view view = text ? std::string_view(text) : std::string_view("(null)");
          if (precision >= 0 && static_cast<std::size_t>(precision) < view.size())
            view = view.substr(0, static_cast<std::size_t>(precision));
          if constexpr (kIsWideFormat<Ch>) {
            const std::u16string wide = Utf8ToUtf16(view);
            body.assign(wide.begin(), wide.end());
          } else {
            body.assign(view);
          }
        }
        AppendPadded(body, width, left, &out);
        break;
      }
      case 'n':
        // Writing through a caller's pointer is never wanted in log formats.
        (void)va_arg(args, void*);
        break;
      default:
        out.append(start, p);
        break;
    }
  }
  return out;
}

}  // namespace

std::string FormatTextV(const char* format, va_list args) { return FormatImpl(format, args); }

std::u16string FormatWideV(const char16_t* format, va_list args) {
  return FormatImpl(format, args);
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string result = FormatTextV(format, args);
  va_end(args);
  return result;
}

std::u16string FormatWide(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::u16string result = FormatWideV(format, args);
  va_end(args);
  return result;
}

}  // namespace velmora
