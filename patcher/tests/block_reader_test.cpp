#include "patcher/block_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace velmora::patcher {
namespace {

TEST(BlockReaderTest, SkipsTheDeclarationAndMatchesNamesWithoutCase) {
  BlockReader reader;
  ASSERT_TRUE(reader.Begin(" \r\n<?xml version=\"1.0\"?>\t<IMAGE name=\"x\" COUNT=\"2\"></image>"));
  ASSERT_TRUE(reader.OpenElement("Image"));
  std::string name;
  std::int32_t count = 0;
  EXPECT_TRUE(reader.ReadTextAttribute("Name", &name, 31));
  EXPECT_TRUE(reader.ReadCountAttribute(&count));
  EXPECT_EQ(name, "x");
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(reader.CloseElement("Image"));
  EXPECT_EQ(reader.depth(), 0);

  EXPECT_FALSE(reader.Begin("<?xml version=\"1.0\" <Image/>")) << "declaration never ends";
}

TEST(BlockReaderTest, WhatMayFollowAnElementName) {
  const struct {
    const char* text;
    bool opens;
  } cases[] = {
      {"<File Name=\"a\"/>", true}, {"<File\tName=\"a\"/>", true}, {"<File/>", true},
      {"<File>", true},             {"<File\nName=\"a\"/>", false}, {"<File\rName=\"a\"/>", false},
      {"<Files/>", false},          {"</File>", false},             {"File/>", false},
  };
  for (const auto& c : cases) {
    BlockReader reader;
    ASSERT_TRUE(reader.Begin(c.text));
    EXPECT_EQ(reader.OpenElement("File"), c.opens) << c.text;
    if (!c.opens) {
      EXPECT_EQ(reader.offset(), 0u) << c.text;
      EXPECT_EQ(reader.depth(), 0) << c.text;
    }
  }
}

TEST(BlockReaderTest, AttributesAreReadInTheirOrderOnly) {
  BlockReader reader;
  ASSERT_TRUE(reader.Begin("<File Name = \"a b\" Hash=\"h\" />"));
  ASSERT_TRUE(reader.OpenElement("File"));
  std::string value;
  const std::size_t before = reader.offset();
  EXPECT_FALSE(reader.ReadTextAttribute("Hash", &value, 31)) << "Hash is not next";
  EXPECT_EQ(reader.offset(), before);
  EXPECT_TRUE(reader.ReadTextAttribute("name", &value, 31));
  EXPECT_EQ(value, "a b");
  EXPECT_FALSE(reader.ReadTextAttribute("Hash", &value, 0)) << "a value longer than its field";
  EXPECT_TRUE(reader.ReadTextAttribute("Hash", &value, 1));
  EXPECT_TRUE(reader.CloseElement("File"));
}

TEST(BlockReaderTest, NumbersFollowAtoiAndTheDigitRule) {
  const struct {
    const char* value;
    std::int32_t count;
  } counts[] = {
      {"12", 12},         {"  -7x", -7},         {"+3", 3}, {"abc", 0}, {"", 0},
      {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1},
  };
  for (const auto& c : counts) {
    BlockReader reader;
    const std::string text = std::string("<E Count=\"") + c.value + "\"/>";
    ASSERT_TRUE(reader.Begin(text));
    ASSERT_TRUE(reader.OpenElement("E"));
    std::int32_t count = -1;
    EXPECT_TRUE(reader.ReadCountAttribute(&count)) << c.value;
    EXPECT_EQ(count, c.count) << c.value;
  }

  const struct {
    const char* value;
    bool ok;
    std::uint32_t number;
  } numbers[] = {
      {"0", true, 0},          {"4294967295", true, 4294967295u}, {"4294967297", true, 1},
      {"12 ", false, 0},       {"-1", false, 0},                  {"", false, 0},
      {"0x10", false, 0},
  };
  for (const auto& c : numbers) {
    BlockReader reader;
    const std::string text = std::string("<E Size=\"") + c.value + "\"/>";
    ASSERT_TRUE(reader.Begin(text));
    ASSERT_TRUE(reader.OpenElement("E"));
    std::uint32_t number = 99;
    EXPECT_EQ(reader.ReadNumberAttribute("Size", &number), c.ok) << c.value;
    if (c.ok) {
      EXPECT_EQ(number, c.number) << c.value;
    }
  }
}

TEST(BlockReaderTest, ElementsCloseSelfClosingOrByNameWithCommentsBetween) {
  BlockReader reader;
  ASSERT_TRUE(reader.Begin(
      "<!-- before --><Root>\n <!-- one --> <A/>\n<B x=\"1\">\n<!-- inner -->\n</B >\n</Root>"));
  ASSERT_TRUE(reader.OpenElement("Root"));
  ASSERT_TRUE(reader.OpenElement("A"));
  EXPECT_FALSE(reader.CloseElement("B")) << "the innermost element is A";
  ASSERT_TRUE(reader.CloseElement("A"));
  ASSERT_TRUE(reader.OpenElement("B"));
  EXPECT_FALSE(reader.CloseElement("B")) << "its attribute is still unread";
  std::string x;
  ASSERT_TRUE(reader.ReadTextAttribute("x", &x, 1));
  EXPECT_FALSE(reader.CloseElement("Root"));
  ASSERT_TRUE(reader.CloseElement("B"));
  ASSERT_TRUE(reader.CloseElement("Root"));
  EXPECT_EQ(reader.depth(), 0);
}

TEST(BlockReaderTest, GenericOperationsWalkAnUnknownDocument) {
  const char* text =
      "<Config>\n"
      "  <Unknown a=\"x>y\" b='z'>text <Deep><Deeper/></Deep> more<!-- c --></Unknown>\n"
      "  <Empty flag=\"1\"/>\n"
      "  <Key>  Event Name \t</Key>\n"
      "  <Percent> #3F800000 </Percent>\n"
      "  <Factor>2.5e1</Factor>\n"
      "  <Reports>-12</Reports>\n"
      "</Config>";
  BlockReader reader;
  ASSERT_TRUE(reader.Begin(text));
  std::string_view name;
  ASSERT_TRUE(reader.OpenAnyElement(&name));
  EXPECT_EQ(name, "Config");

  ASSERT_TRUE(reader.OpenAnyElement(&name));
  EXPECT_EQ(name, "Unknown");
  ASSERT_TRUE(reader.SkipAttributes());
  EXPECT_FALSE(reader.tag_open()) << "the quoted > is not the end of the tag";
  ASSERT_TRUE(reader.SkipContent());
  ASSERT_TRUE(reader.CloseAnyElement());

  ASSERT_TRUE(reader.OpenAnyElement(&name));
  EXPECT_EQ(name, "Empty");
  ASSERT_TRUE(reader.SkipAttributes());
  EXPECT_TRUE(reader.tag_open()) << "standing on the / of />";
  std::string content;
  EXPECT_FALSE(reader.ReadTextContent(&content, 127)) << "a self-closing element has no content";
  ASSERT_TRUE(reader.SkipContent());
  ASSERT_TRUE(reader.CloseAnyElement());

  ASSERT_TRUE(reader.OpenAnyElement(&name));
  EXPECT_EQ(name, "Key");
  EXPECT_FALSE(reader.ReadTextContent(&content, 5)) << "longer than the buffer";
  ASSERT_TRUE(reader.ReadTextContent(&content, 127));
  EXPECT_EQ(content, "Event Name");
  ASSERT_TRUE(reader.CloseAnyElement());

  float decimal = 0;
  ASSERT_TRUE(reader.OpenAnyElement(&name));
  ASSERT_TRUE(reader.ReadDecimalContent(&decimal));
  EXPECT_EQ(decimal, 1.0f) << "#3F800000 is the bit pattern of 1.0";
  ASSERT_TRUE(reader.CloseElement("percent"));

  ASSERT_TRUE(reader.OpenAnyElement(&name));
  ASSERT_TRUE(reader.ReadDecimalContent(&decimal));
  EXPECT_EQ(decimal, 25.0f);
  ASSERT_TRUE(reader.CloseAnyElement());

  std::int32_t integer = 0;
  ASSERT_TRUE(reader.OpenAnyElement(&name));
  ASSERT_TRUE(reader.ReadIntegerContent(&integer));
  EXPECT_EQ(integer, -12);
  ASSERT_TRUE(reader.CloseAnyElement());

  EXPECT_FALSE(reader.OpenAnyElement(&name)) << "only </Config> is left";
  ASSERT_TRUE(reader.CloseAnyElement());
  EXPECT_EQ(reader.depth(), 0);
}

TEST(BlockReaderTest, ClosingTagMustNameTheInnermostElement) {
  BlockReader reader;
  ASSERT_TRUE(reader.Begin("<A><B></A></B>"));
  std::string_view name;
  ASSERT_TRUE(reader.OpenAnyElement(&name));
  ASSERT_TRUE(reader.OpenAnyElement(&name));
  const std::size_t before = reader.offset();
  EXPECT_FALSE(reader.CloseAnyElement());
  EXPECT_EQ(reader.offset(), before);
  EXPECT_EQ(reader.depth(), 2);
}

TEST(BlockReaderTest, NestingStopsAtTheDepthLimit) {
  std::string text;
  for (int i = 0; i <= BlockReader::kMaxDepth; ++i) text += "<E>";
  BlockReader reader;
  ASSERT_TRUE(reader.Begin(text));
  for (int i = 0; i < BlockReader::kMaxDepth; ++i) ASSERT_TRUE(reader.OpenElement("E")) << i;
  EXPECT_FALSE(reader.OpenElement("E"));
  std::string_view name;
  EXPECT_FALSE(reader.OpenAnyElement(&name));
  EXPECT_EQ(reader.depth(), BlockReader::kMaxDepth);
}

TEST(BlockReaderTest, TextEndsAtItsFirstNulByte) {
  const char bytes[] = "<A x=\"1\0\"/>";
  BlockReader reader;
  ASSERT_TRUE(reader.Begin(std::string_view(bytes, sizeof bytes - 1)));
  ASSERT_TRUE(reader.OpenElement("A"));
  std::string value;
  EXPECT_FALSE(reader.ReadTextAttribute("x", &value, 31)) << "the closing quote lies past the NUL";
  EXPECT_FALSE(reader.SkipAttributes());
  EXPECT_FALSE(reader.SkipContent());
}

}  // namespace
}  // namespace velmora::patcher
