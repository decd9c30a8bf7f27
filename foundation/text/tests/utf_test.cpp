#include "foundation/text/utf.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(UtfTest, RoundTripsEveryPlane) {
  const std::u16string wide = u"a\u00e9\u20ac\U0001F600z";
  const std::string narrow = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
  EXPECT_EQ(Utf16ToUtf8(wide), narrow);
  EXPECT_EQ(Utf8ToUtf16(narrow), wide);
}

TEST(UtfTest, MalformedInputBecomesReplacementCharacters) {
  const struct {
    std::string input;
    std::u16string expected;
  } cases[] = {
      {"\xC3", u"\uFFFD"},                  // truncated sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD"},        // overlong encoding of '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"a\x80" "b", u"a\uFFFDb"},           // stray continuation byte
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.input), c.expected);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(UtfTest, CaseInsensitiveComparisonTouchesOnlyAsciiLetters) {
  EXPECT_TRUE(EqualsIgnoreAsciiCase("EN-US", "en-us"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("en_us", "en-us"));
  EXPECT_TRUE(EqualsIgnoreAsciiCase(u"De-DE", u"de-de"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase(u"\u00c9", u"\u00e9"));
}

}  // namespace
}  // namespace velmora
