#include "orvwebkit/src/script_text.h"

#include <gtest/gtest.h>

namespace velmora::orvwebkit {
namespace {

std::string Json(std::u16string_view text) {
  std::string out;
  AppendJsonString(text, &out);
  return out;
}

TEST(ScriptTextTest, JsonStringsAreAsciiAndKeepEveryUnit) {
  EXPECT_EQ(Json(u""), "\"\"");
  EXPECT_EQ(Json(u"plain text"), "\"plain text\"");
  EXPECT_EQ(Json(u"say \"hi\" \\ bye"), "\"say \\\"hi\\\" \\\\ bye\"");
  EXPECT_EQ(Json(u"line\nnext\x01"), "\"line\\u000anext\\u0001\"");
  EXPECT_EQ(Json(u"caf\u00e9 \U0001F600"), "\"caf\\u00e9 \\ud83d\\ude00\"");
  // A lone surrogate survives: the page's JSON.parse gives it back as is.
  EXPECT_EQ(Json(std::u16string(1, char16_t{0xD800})), "\"\\ud800\"");
  // '<' and '/' need no escape in a response body.
  EXPECT_EQ(Json(u"</script>"), "\"</script>\"");
}

TEST(ScriptTextTest, ArgumentListsOfTextsAndNulls) {
  const auto parsed = ParseArgumentList(R"([ "a" , null,"b\"c", "", "\u00e9\ud83d\ude00"])", 10);
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->size(), 5u);
  EXPECT_EQ((*parsed)[0], std::u16string(u"a"));
  EXPECT_FALSE((*parsed)[1].has_value());
  EXPECT_EQ((*parsed)[2], std::u16string(u"b\"c"));
  EXPECT_EQ((*parsed)[3], std::u16string(u""));
  EXPECT_EQ((*parsed)[4], std::u16string(u"\u00e9\U0001F600"));

  // Raw UTF-8 (what JSON.stringify writes for non-ASCII) and a lone
  // surrogate escape (what it writes for a broken pair).
  const auto raw = ParseArgumentList("[\"caf\xc3\xa9\",\"\\udc00x\"]", 10);
  ASSERT_TRUE(raw);
  EXPECT_EQ((*raw)[0], std::u16string(u"caf\u00e9"));
  EXPECT_EQ((*raw)[1], std::u16string({char16_t{0xDC00}, u'x'}));

  ASSERT_TRUE(ParseArgumentList("[]", 0));
  EXPECT_TRUE(ParseArgumentList(" [ ] ", 0)->empty());
}

TEST(ScriptTextTest, ArgumentListsRefuseAnythingElse) {
  for (const char* bad : {"", "[", "[\"a\"", "[\"a\",]", "{}", "[1]", "[true]", "[[\"a\"]]",
                          "[\"a\"] x", "[\"\\x\"]", "[\"\\u12\"]", "[\"tab\there\"]", "null"}) {
    EXPECT_FALSE(ParseArgumentList(bad, 10)) << bad;
  }
  EXPECT_FALSE(ParseArgumentList("[\"a\",\"b\",\"c\"]", 2));
  EXPECT_TRUE(ParseArgumentList("[\"a\",\"b\"]", 2));
}

TEST(ScriptTextTest, PercentDecoding) {
  EXPECT_EQ(PercentDecode("get%4Cocale%20Id"), "getLocale Id");
  EXPECT_EQ(PercentDecode("%c3%A9"), "\xc3\xa9");
  EXPECT_EQ(PercentDecode(""), "");
  EXPECT_FALSE(PercentDecode("bad%"));
  EXPECT_FALSE(PercentDecode("bad%4"));
  EXPECT_FALSE(PercentDecode("bad%zz"));
}

TEST(ScriptTextTest, ScriptIdentifiers) {
  for (const char* good : {"Client", "_x", "$", "a1"}) EXPECT_TRUE(IsScriptIdentifier(good)) << good;
  for (const char* bad : {"", "1a", "a-b", "a b", "a.b", "\xc3\xa9"}) {
    EXPECT_FALSE(IsScriptIdentifier(bad)) << bad;
  }
}

}  // namespace
}  // namespace velmora::orvwebkit
