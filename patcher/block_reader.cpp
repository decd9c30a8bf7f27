#include "patcher/block_reader.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace velmora::patcher {
namespace {

bool IsWhiteSpace(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// atoi as the C library defines it, with the result held to 32 bits instead
// of overflowing.
std::int32_t ConvertLikeAtoi(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  std::int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > static_cast<std::int64_t>(INT32_MAX) + 1) value = static_cast<std::int64_t>(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<std::int32_t>(value);
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool BlockReader::Begin(std::string_view text) {
  text_ = text.data();
  const void* nul = text.empty() ? nullptr : std::memchr(text.data(), '\0', text.size());
  size_ = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()) : text.size();
  pos_ = 0;
  depth_ = 0;
  tag_open_ = false;
  SkipWhiteSpace();
  if (LooksAt("<?")) {
    std::size_t i = pos_ + 2;
    while (i < size_ && !(text_[i] == '?' && At(i + 1) == '>')) ++i;
    if (i >= size_) {
      pos_ = 0;
      return false;
    }
    pos_ = i + 2;
    SkipWhiteSpace();
  }
  return true;
}

bool BlockReader::LooksAt(std::string_view what) const {
  if (pos_ > size_ || what.size() > size_ - pos_) return false;
  return std::memcmp(text_ + pos_, what.data(), what.size()) == 0;
}

void BlockReader::SkipWhiteSpace() {
  while (pos_ < size_ && IsWhiteSpace(text_[pos_])) ++pos_;
}

bool BlockReader::SkipWhiteSpaceAndComment() {
  SkipWhiteSpace();
  if (LooksAt("<!-")) {
    std::size_t i = pos_ + 3;
    while (i < size_ && !(text_[i] == '-' && At(i + 1) == '>')) ++i;
    if (i >= size_) return false;
    pos_ = i + 2;
    SkipWhiteSpace();
  }
  return true;
}

bool BlockReader::MatchName(std::string_view name) {
  if (name.empty() || name.size() > size_ - pos_) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (LowerAscii(text_[pos_ + i]) != LowerAscii(name[i])) return false;
  pos_ += name.size();
  return true;
}

bool BlockReader::EndOpenTag() {
  SkipWhiteSpace();
  if (At(pos_) != '>') return false;
  ++pos_;
  tag_open_ = false;
  return true;
}

bool BlockReader::EnterTag() {
  if (tag_open_) {
    if (!EndOpenTag()) return false;
  }
  if (!SkipWhiteSpaceAndComment()) return false;
  if (At(pos_) != '<' || At(pos_ + 1) == '/') return false;
  ++pos_;
  return true;
}

bool BlockReader::Push(std::string_view name) {
  if (depth_ >= kMaxDepth) return false;
  stack_[static_cast<std::size_t>(depth_++)] = name;
  tag_open_ = true;
  return true;
}

bool BlockReader::OpenElement(std::string_view name) {
  const Mark mark = Save();
  if (!EnterTag() || !MatchName(name)) return Fail(mark);
  const char next = At(pos_);
  if (next != ' ' && next != '\t' && next != '/' && next != '>') return Fail(mark);
  if (!Push(name)) return Fail(mark);
  return true;
}

bool BlockReader::OpenAnyElement(std::string_view* name) {
  const Mark mark = Save();
  if (!EnterTag()) return Fail(mark);
  const std::size_t start = pos_;
  while (pos_ < size_) {
    const char c = text_[pos_];
    if (IsWhiteSpace(c) || c == '<' || c == '>' || c == '/') break;
    ++pos_;
  }
  if (pos_ == start) return Fail(mark);
  const std::string_view found(text_ + start, pos_ - start);
  if (!Push(found)) return Fail(mark);
  *name = found;
  return true;
}

bool BlockReader::ReadClosingTag(bool any_name, std::string_view name) {
  if (!SkipWhiteSpaceAndComment()) return false;
  if (!LooksAt("</")) return false;
  pos_ += 2;
  const std::string_view innermost = stack_[static_cast<std::size_t>(depth_ - 1)];
  if (any_name) {
    const std::size_t start = pos_;
    while (pos_ < size_ && !IsWhiteSpace(text_[pos_]) && text_[pos_] != '>') ++pos_;
    if (!SameNameIgnoringCase(std::string_view(text_ + start, pos_ - start), innermost))
      return false;
  } else {
    if (!MatchName(name) || !SameNameIgnoringCase(name, innermost)) return false;
  }
  SkipWhiteSpace();
  if (At(pos_) != '>') return false;
  ++pos_;
  --depth_;
  return true;
}

bool BlockReader::CloseElement(std::string_view name) {
  const Mark mark = Save();
  if (depth_ == 0) return false;
  if (tag_open_) {
    SkipWhiteSpace();
    if (At(pos_) == '>') {
      ++pos_;
      tag_open_ = false;
    } else if (LooksAt("/>")) {
      if (!SameNameIgnoringCase(name, stack_[static_cast<std::size_t>(depth_ - 1)]))
        return Fail(mark);
      pos_ += 2;
      --depth_;
      tag_open_ = false;
      return true;
    } else {
      return Fail(mark);
    }
  }
  if (!ReadClosingTag(false, name)) return Fail(mark);
  return true;
}

bool BlockReader::CloseAnyElement() {
  const Mark mark = Save();
  if (depth_ == 0) return false;
  if (tag_open_) {
    SkipWhiteSpace();
    if (At(pos_) == '>') {
      ++pos_;
      tag_open_ = false;
    } else if (LooksAt("/>")) {
      pos_ += 2;
      --depth_;
      tag_open_ = false;
      return true;
    } else {
      return Fail(mark);
    }
  }
  if (!ReadClosingTag(true, {})) return Fail(mark);
  return true;
}

bool BlockReader::ReadQuotedValue(std::string* out, std::size_t max_bytes) {
  SkipWhiteSpace();
  if (At(pos_) != '"') return false;
  const std::size_t start = pos_ + 1;
  const void* quote = std::memchr(text_ + start, '"', size_ - start);
  if (!quote) return false;
  const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(quote) - (text_ + start));
  if (length > max_bytes) return false;
  out->assign(text_ + start, length);
  pos_ = start + length + 1;
  return true;
}

bool BlockReader::ReadTextAttribute(std::string_view name, std::string* out, std::size_t max_bytes) {
  const Mark mark = Save();
  if (!tag_open_) return false;
  SkipWhiteSpace();
  if (!MatchName(name)) return Fail(mark);
  SkipWhiteSpace();
  if (At(pos_) != '=') return Fail(mark);
  ++pos_;
  if (!ReadQuotedValue(out, max_bytes)) return Fail(mark);
  return true;
}

bool BlockReader::ReadCountAttribute(std::int32_t* out) {
  std::string value;
  if (!ReadTextAttribute("Count", &value, kScratchBytes - 1)) return false;
  std::memcpy(scratch_.data(), value.data(), value.size());
  scratch_[value.size()] = '\0';
  *out = ConvertLikeAtoi(scratch_.data());
  return true;
}

bool BlockReader::ReadNumberAttribute(std::string_view name, std::uint32_t* out) {
  const Mark mark = Save();
  std::string value;
  if (!ReadTextAttribute(name, &value, kScratchBytes - 1)) return false;
  if (value.empty()) return Fail(mark);
  std::uint32_t number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return Fail(mark);
    number = number * 10u + static_cast<std::uint32_t>(c - '0');
  }
  *out = number;
  return true;
}

bool BlockReader::SkipAttributes() {
  if (!tag_open_) return true;
  const Mark mark = Save();
  while (pos_ < size_) {
    const char c = text_[pos_];
    if (c == '"') {
      const void* quote = std::memchr(text_ + pos_ + 1, '"', size_ - pos_ - 1);
      if (!quote) return Fail(mark);
      pos_ = static_cast<std::size_t>(static_cast<const char*>(quote) - text_) + 1;
    } else if (c == '>') {
      ++pos_;
      tag_open_ = false;
      return true;
    } else if (c == '/' && At(pos_ + 1) == '>') {
      return true;
    } else {
      ++pos_;
    }
  }
  return Fail(mark);
}

bool BlockReader::SkipContent() {
  const Mark mark = Save();
  if (tag_open_) {
    if (!SkipAttributes()) return Fail(mark);
    if (tag_open_) return true;  // standing on "/>": there is no content
  }
  for (;;) {
    const void* open = pos_ < size_ ? std::memchr(text_ + pos_, '<', size_ - pos_) : nullptr;
    if (!open) return Fail(mark);
    pos_ = static_cast<std::size_t>(static_cast<const char*>(open) - text_);
    if (LooksAt("</")) return true;
    if (LooksAt("<!") || LooksAt("<?")) {
      // Comments, declarations and the like inside skipped content.
      const std::string_view end = LooksAt("<!-") ? "->" : LooksAt("<?") ? "?>" : ">";
      std::size_t i = pos_ + 2;
      while (i < size_ && std::string_view(text_ + i, size_ - i).substr(0, end.size()) != end) ++i;
      if (i >= size_) return Fail(mark);
      pos_ = i + end.size();
      continue;
    }
    std::string_view child;
    if (!OpenAnyElement(&child) || !SkipAttributes()) return Fail(mark);
    if (!tag_open_ && !SkipContent()) return Fail(mark);
    if (!CloseAnyElement()) return Fail(mark);
  }
}

bool BlockReader::PrepareContent() {
  if (tag_open_ && !EndOpenTag()) return false;
  return SkipWhiteSpaceAndComment();
}

bool BlockReader::ReadTextContent(std::string* out, std::size_t max_bytes) {
  const Mark mark = Save();
  if (!PrepareContent()) return Fail(mark);
  const void* open = pos_ < size_ ? std::memchr(text_ + pos_, '<', size_ - pos_) : nullptr;
  if (!open) return Fail(mark);
  const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(open) - text_);
  if (end - pos_ > max_bytes) return Fail(mark);
  std::size_t trimmed = end;
  while (trimmed > pos_ && IsWhiteSpace(text_[trimmed - 1])) --trimmed;
  out->assign(text_ + pos_, trimmed - pos_);
  pos_ = end;
  return true;
}

bool BlockReader::ReadToken() {
  std::size_t length = 0;
  while (pos_ + length < size_) {
    const char c = text_[pos_ + length];
    if (IsWhiteSpace(c) || c == '<' || c == '=' || c == '>') break;
    ++length;
  }
  if (length == 0 || length >= kScratchBytes) return false;
  std::memcpy(scratch_.data(), text_ + pos_, length);
  scratch_[length] = '\0';
  pos_ += length;
  return true;
}

bool BlockReader::ReadDecimalContent(float* out) {
  const Mark mark = Save();
  if (!PrepareContent() || !ReadToken()) return Fail(mark);
  if (scratch_[0] == '#') {
    // The hexadecimal bit pattern of a float, read like strtoul: digits up to
    // the first other byte, held at 32 bits.
    std::uint64_t bits = 0;
    for (const char* p = scratch_.data() + 1; HexDigitValue(*p) >= 0; ++p) {
      bits = bits * 16 + static_cast<std::uint64_t>(HexDigitValue(*p));
      if (bits > 0xFFFFFFFFu) bits = 0xFFFFFFFFu;
    }
    const auto pattern = static_cast<std::uint32_t>(bits);
    std::memcpy(out, &pattern, sizeof pattern);
  } else {
    *out = static_cast<float>(std::strtod(scratch_.data(), nullptr));
  }
  return true;
}

bool BlockReader::ReadIntegerContent(std::int32_t* out) {
  const Mark mark = Save();
  if (!PrepareContent() || !ReadToken()) return Fail(mark);
  *out = ConvertLikeAtoi(scratch_.data());
  return true;
}

}  // namespace velmora::patcher
