// BlockReader: the small forward-only reader of the launcher's XML-like
// documents (manifests, telemetry rules).
//
// The notation: white space is " \r\n\t"; one optional "<?...?>" declaration
// at the start; comments from "<!-" to "->" may stand wherever an element is
// opened or closed; element and attribute names match without regard to ASCII
// case; attribute values are ="..." copied byte for byte (no entities).
//
// Every operation returns true or false. On false the reader is exactly where
// it was before the call (cursor, open elements, tag state), so a caller may
// try another element name at the same place. The text ends at its first NUL
// byte or at its end, whichever comes first, and nothing is ever read beyond
// it. The reader never logs: callers know what they were reading.
//
// A reader is used by one thread; it owns its scratch buffer, so readers on
// different threads never share state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::patcher {

class BlockReader {
 public:
  static constexpr int kMaxDepth = 128;
  // Numeric values and content tokens are read through a scratch buffer of
  // this size, so they hold at most kScratchBytes - 1 bytes.
  static constexpr std::size_t kScratchBytes = 1024;

  // Places the cursor at the start of `text`, skips white space, one
  // declaration ("<?" to "?>") and white space again. False when a
  // declaration never ends.
  [[nodiscard]] bool Begin(std::string_view text);

  // Opens the next element when it has this name. An open tag that the
  // previous element left (attributes read) must end with ">" first. Skips
  // white space and one comment, requires "<" (not "</"), the name, and then
  // a blank, a tab, "/" or ">" (a line break right after the name does not
  // open). `name` must outlive the element. False beyond kMaxDepth.
  [[nodiscard]] bool OpenElement(std::string_view name);

  // Closes the innermost open element, which must have this name: either as
  // a self-closing tag ("/>") when its tag is still open, or with "</name>".
  [[nodiscard]] bool CloseElement(std::string_view name);

  // Reads name="value" from inside the open tag. The value must fit in
  // `max_bytes` bytes (a longer one fails rather than being cut).
  [[nodiscard]] bool ReadTextAttribute(std::string_view name, std::string* out,
                                       std::size_t max_bytes);
  // Reads Count="value", converted like atoi (leading white space, a sign,
  // digits up to the first other byte; saturated at the 32-bit limits).
  [[nodiscard]] bool ReadCountAttribute(std::int32_t* out);
  // Reads name="value" of unsigned decimal digits: value = value * 10 +
  // digit, modulo 2^32. Any byte that is not a digit, or an empty value,
  // fails: such a value is not one of the document's numbers.
  [[nodiscard]] bool ReadNumberAttribute(std::string_view name, std::uint32_t* out);

  // Opens whatever element comes next. Its name runs up to the first white
  // space, "<", ">" or "/" and is returned (a view into the text).
  [[nodiscard]] bool OpenAnyElement(std::string_view* name);
  // From inside an open tag, moves to its end: just after ">" (the tag is
  // then closed), or onto the "/" of "/>" (the tag stays open, and a close
  // finishes the element). Quoted values are skipped whole. Nothing to do
  // when no tag is open.
  [[nodiscard]] bool SkipAttributes();
  // Closes the innermost open element whatever its name; a closing tag must
  // still carry that element's name.
  [[nodiscard]] bool CloseAnyElement();
  // Skips every child (recursively) and all text of the current element and
  // stops at its "</" or, for a self-closing element, at its "/>".
  [[nodiscard]] bool SkipContent();

  // The content readers first end an open tag (">" must follow), then skip
  // white space and one comment.
  //
  // Copies the text up to the next "<" into `out` without its trailing white
  // space; fails when more than `max_bytes` bytes come before that "<".
  [[nodiscard]] bool ReadTextContent(std::string* out, std::size_t max_bytes);
  // Reads one token (ending at white space, "<", "=" or ">"): a token
  // beginning "#" is hexadecimal and its 32-bit value is taken as the bit
  // pattern of the float; any other is converted like atof. An empty token
  // fails.
  [[nodiscard]] bool ReadDecimalContent(float* out);
  // Reads one token the same way and converts it like atoi.
  [[nodiscard]] bool ReadIntegerContent(std::int32_t* out);

  int depth() const { return depth_; }
  // Bytes from the start of the text to the cursor.
  std::size_t offset() const { return pos_; }
  bool tag_open() const { return tag_open_; }

 private:
  struct Mark {
    std::size_t pos;
    int depth;
    bool tag_open;
  };
  Mark Save() const { return {pos_, depth_, tag_open_}; }
  bool Fail(const Mark& mark) {
    pos_ = mark.pos;
    depth_ = mark.depth;
    tag_open_ = mark.tag_open;
    return false;
  }

  char At(std::size_t i) const { return i < size_ ? text_[i] : '\0'; }
  bool LooksAt(std::string_view what) const;
  void SkipWhiteSpace();
  // White space, one comment when the text at the cursor begins "<!-",
  // white space again. False when the comment never ends.
  bool SkipWhiteSpaceAndComment();
  bool MatchName(std::string_view name);
  // Steps 1 to 3 of opening: end an open tag, skip white space and one
  // comment, step over "<" (not "</").
  bool EnterTag();
  bool EndOpenTag();
  bool Push(std::string_view name);
  // The closing tag after an open tag was ended: "</", the name, ">".
  bool ReadClosingTag(bool any_name, std::string_view name);
  bool ReadQuotedValue(std::string* out, std::size_t max_bytes);
  bool ReadToken();
  bool PrepareContent();

  const char* text_ = nullptr;
  std::size_t size_ = 0;
  std::size_t pos_ = 0;
  std::array<std::string_view, kMaxDepth> stack_{};
  int depth_ = 0;
  bool tag_open_ = false;
  std::array<char, kScratchBytes> scratch_{};
};

}  // namespace velmora::patcher
