#include "orvwebkit/src/script_text.h"

#include <cstdint>

#include "orvwebkit/src/unicode.h"

namespace velmora::orvwebkit {
namespace {

constexpr char kHex[] = "0123456789abcdef";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class ArgumentParser {
 public:
  explicit ArgumentParser(std::string_view json) : json_(json) {}

  std::optional<std::vector<ScriptArgument>> Parse(std::size_t max_elements) {
    std::vector<ScriptArgument> values;
    SkipSpace();
    if (!Take('[')) return std::nullopt;
    SkipSpace();
    if (!Take(']')) {
      for (;;) {
        if (values.size() == max_elements) return std::nullopt;
        SkipSpace();
        if (TakeWord("null")) {
          values.emplace_back(std::nullopt);
        } else {
          std::u16string text;
          if (!ParseString(&text)) return std::nullopt;
          values.emplace_back(std::move(text));
        }
        SkipSpace();
        if (Take(']')) break;
        if (!Take(',')) return std::nullopt;
      }
    }
    SkipSpace();
    if (position_ != json_.size()) return std::nullopt;
    return values;
  }

 private:
  bool ParseString(std::u16string* text) {
    if (!Take('"')) return false;
    std::size_t run_start = position_;
    auto flush_run = [&] {
      *text += Utf8ToUtf16(json_.substr(run_start, position_ - run_start));
    };
    while (position_ < json_.size()) {
      const char c = json_[position_];
      if (c == '"') {
        flush_run();
        ++position_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        ++position_;
        continue;
      }
      flush_run();
      if (++position_ >= json_.size()) return false;
      const char escape = json_[position_++];
      switch (escape) {
        case '"': *text += u'"'; break;
        case '\\': *text += u'\\'; break;
        case '/': *text += u'/'; break;
        case 'b': *text += u'\b'; break;
        case 'f': *text += u'\f'; break;
        case 'n': *text += u'\n'; break;
        case 'r': *text += u'\r'; break;
        case 't': *text += u'\t'; break;
        case 'u': {
          if (position_ + 4 > json_.size()) return false;
          std::uint32_t unit = 0;
          for (int i = 0; i < 4; ++i) {
            const int digit = HexDigit(json_[position_ + i]);
            if (digit < 0) return false;
            unit = unit * 16 + static_cast<std::uint32_t>(digit);
          }
          position_ += 4;
          // Units are kept as they are, lone surrogates included: the page
          // may hold such texts and the host reads UTF-16.
          *text += static_cast<char16_t>(unit);
          break;
        }
        default:
          return false;
      }
      run_start = position_;
    }
    return false;
  }

  void SkipSpace() {
    while (position_ < json_.size() &&
           (json_[position_] == ' ' || json_[position_] == '\t' || json_[position_] == '\n' ||
            json_[position_] == '\r')) {
      ++position_;
    }
  }
  bool Take(char c) {
    if (position_ < json_.size() && json_[position_] == c) {
      ++position_;
      return true;
    }
    return false;
  }
  bool TakeWord(std::string_view word) {
    if (json_.substr(position_, word.size()) != word) return false;
    position_ += word.size();
    return true;
  }

  std::string_view json_;
  std::size_t position_ = 0;
};

}  // namespace

void AppendJsonString(std::u16string_view text, std::string* out) {
  *out += '"';
  for (char16_t unit : text) {
    if (unit == u'"' || unit == u'\\') {
      *out += '\\';
      *out += static_cast<char>(unit);
    } else if (unit >= 0x20 && unit < 0x7F) {
      *out += static_cast<char>(unit);
    } else {
      *out += "\\u";
      *out += kHex[(unit >> 12) & 15];
      *out += kHex[(unit >> 8) & 15];
      *out += kHex[(unit >> 4) & 15];
      *out += kHex[unit & 15];
    }
  }
  *out += '"';
}

std::optional<std::vector<ScriptArgument>> ParseArgumentList(std::string_view json,
                                                             std::size_t max_elements) {
  return ArgumentParser(json).Parse(max_elements);
}

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexDigit(text[i + 1]);
    const int low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

bool IsScriptIdentifier(std::string_view name) {
  if (name.empty() || name.size() > 128) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

}  // namespace velmora::orvwebkit
