#include "orvwebkit/src/encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvwebkit/src/websocket.h"

namespace velmora::orvwebkit {
namespace {

std::string Hex(const std::array<std::uint8_t, 20>& digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

TEST(Base64Test, EncodesAndDecodesTheStandardVectors) {
  const struct {
    std::string plain;
    std::string encoded;
  } cases[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
               {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
               {"foobar", "Zm9vYmFy"}, {std::string("\xff\xfe\x00\x01", 4), "//4AAQ=="}};
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Encode(c.plain.data(), c.plain.size()), c.encoded) << c.plain;
    std::vector<std::uint8_t> decoded;
    ASSERT_TRUE(Base64Decode(c.encoded, &decoded)) << c.encoded;
    EXPECT_EQ(std::string(decoded.begin(), decoded.end()), c.plain);
  }
}

TEST(Base64Test, RejectsWhatIsNotBase64) {
  std::vector<std::uint8_t> decoded{1, 2, 3};
  for (const char* bad : {"Zm9v!", "Z", "Zm9vY", "Zm 9v", "Zg=a"}) {
    EXPECT_FALSE(Base64Decode(bad, &decoded)) << bad;
  }
  // Unpadded input is what some producers send; it decodes.
  ASSERT_TRUE(Base64Decode("Zm8", &decoded));
  EXPECT_EQ(std::string(decoded.begin(), decoded.end()), "fo");
}

TEST(Sha1Test, MatchesKnownDigests) {
  EXPECT_EQ(Hex(Sha1("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Hex(Sha1("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
  // Two blocks, padding in the second.
  EXPECT_EQ(Hex(Sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  // 55 and 56 bytes sit on both sides of the one-block padding limit.
  EXPECT_EQ(Hex(Sha1(std::string(55, 'a'))), "c1c8bbdc22796e28c0e15163d20899b65621d65a");
  EXPECT_EQ(Hex(Sha1(std::string(56, 'a'))), "c2db330f6083854c99d4b5bfb6e8f29f201be699");
}

TEST(WebSocketTest, AcceptKeyMatchesTheProtocolExample) {
  EXPECT_EQ(WebSocketAcceptKey("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

}  // namespace
}  // namespace velmora::orvwebkit
