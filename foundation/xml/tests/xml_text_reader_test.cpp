#include "foundation/xml/xml_text_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

// One line per node: "<name" / ">" (end) / "'text'" / "!" (other), each
// prefixed with its depth.
std::vector<std::string> Describe(const std::string& document) {
  XmlTextReader reader;
  EXPECT_TRUE(reader.Open(document.data(), document.size())) << document;
  std::vector<std::string> out;
  while (reader.Read()) {
    const XmlNode& node = reader.Node();
    std::string line = std::to_string(node.depth) + " ";
    switch (node.type) {
      case XmlNodeType::kElement:
        line += "<" + std::string(node.name.begin(), node.name.end());
        break;
      case XmlNodeType::kEndElement:
        line += ">";
        break;
      case XmlNodeType::kText:
        line += "'" + std::string(node.value.begin(), node.value.end()) + "'";
        break;
      case XmlNodeType::kOther:
        line += "!";
        break;
    }
    out.push_back(line);
  }
  return out;
}

TEST(XmlTextReaderTest, YieldsElementsAndMergedTextInDocumentOrder) {
  const std::string document =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<root>\n"
      "  <a>x &amp; <![CDATA[<raw>]]>y</a>\n"
      "  <empty/><blank></blank>\n"
      "  <b>before<!-- note -->after</b>\n"
      "  <ns:c>deep<d>er</d></ns:c>\n"
      "</root>\n";
  const std::vector<std::string> expected = {
      "0 <root", "1 '\n  '", "1 <a", "2 'x & <raw>y'", "1 >", "1 '\n  '", "1 <empty", "1 >",
      "1 <blank", "1 >", "1 '\n  '", "1 <b", "2 'before'", "2 !", "2 'after'", "1 >",
      "1 '\n  '", "1 <ns:c", "2 'deep'", "2 <d", "3 'er'", "2 >", "1 >", "1 '\n'", "0 >",
  };
  EXPECT_EQ(Describe(document), expected);
}

TEST(XmlTextReaderTest, TextComesOutAsUtf16) {
  const std::string document = "<t>gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80</t>";
  XmlTextReader reader;
  ASSERT_TRUE(reader.Open(document.data(), document.size()));
  ASSERT_TRUE(reader.Read());
  ASSERT_TRUE(reader.Read());
  EXPECT_EQ(reader.Node().value, u"gr\u00fc\u00df \u20ac \U0001F600");
}

TEST(XmlTextReaderTest, ReadsUtf16DocumentsWithAByteOrderMark) {
  const std::u16string text = u"\uFEFF<v>\u00e9t\u00e9</v>";
  XmlTextReader reader;
  ASSERT_TRUE(reader.Open(text.data(), text.size() * sizeof(char16_t)));
  ASSERT_TRUE(reader.Read());
  EXPECT_EQ(reader.Node().name, u"v");
  ASSERT_TRUE(reader.Read());
  EXPECT_EQ(reader.Node().value, u"\u00e9t\u00e9");
}

TEST(XmlTextReaderTest, RefusesDocumentsThatAreNotWellFormedAnywhere) {
  const char* documents[] = {
      "",
      "plain text",
      "<a><b></a></b>",
      "<a>unterminated",
      "<a></a><second/>",
      "<a attr=unquoted/>",
      "<!DOCTYPE a [<!ENTITY e \"boom\">]><a>&e;</a>",
      "<!DOCTYPE a><a/>",
  };
  for (const char* document : documents) {
    SCOPED_TRACE(document);
    XmlTextReader reader;
    EXPECT_FALSE(reader.Open(document, std::string(document).size()));
    EXPECT_FALSE(reader.Read());
  }
}

TEST(XmlTextReaderTest, ReopeningStartsOver) {
  XmlTextReader reader;
  ASSERT_TRUE(reader.Open("<a>1</a>", 8));
  ASSERT_TRUE(reader.Read());
  ASSERT_TRUE(reader.Open("<b/>", 4));
  ASSERT_TRUE(reader.Read());
  EXPECT_EQ(reader.Node().name, u"b");
  ASSERT_TRUE(reader.Read());
  EXPECT_EQ(reader.Node().type, XmlNodeType::kEndElement);
  EXPECT_FALSE(reader.Read());
  EXPECT_FALSE(reader.Read());
}

}  // namespace
}  // namespace velmora
