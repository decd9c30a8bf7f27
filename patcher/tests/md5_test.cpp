#include "patcher/md5.h"

#include <gtest/gtest.h>

#include <string>

#include "patcher/file_validation.h"

namespace velmora::patcher {
namespace {

std::string Hex(const std::string& data) {
  return FormatDigest(ComputeMd5(data.data(), data.size()));
}

TEST(Md5Test, MatchesTheReferenceDigests) {
  const struct {
    std::string input;
    const char* digest;
  } cases[] = {
      // The test suite of RFC 1321.
      {"", "0xd41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0x0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "0x900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "0xf96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "0xc3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "0xd174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
       "0",
       "0x57edf4a22be3c955ac49da2e2107b67a"},
      // Lengths around the padding boundary: the bit length fits in the last
      // block only below 56 bytes.
      {std::string(55, 'a'), "0xef1772b6dff9a122358552954ad0df65"},
      {std::string(56, 'a'), "0x3b0c8ac703f828b04c6c197006d17218"},
      {std::string(63, 'a'), "0xb06521f39153d618550606be297466d5"},
      {std::string(64, 'a'), "0x014842d480b571495a4a0363793f7367"},
      {std::string(65, 'a'), "0xc743a45e0d2e6a95cb859adae0248435"},
  };
  for (const auto& c : cases) EXPECT_EQ(Hex(c.input), c.digest) << c.input.size() << " bytes";
}

TEST(Md5Test, PiecesOfAnySizeGiveTheDigestOfTheWhole) {
  std::string data(5000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 131 + 7) % 251);
  const Md5Digest whole = ComputeMd5(data.data(), data.size());
  for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{63}, std::size_t{64},
                                  std::size_t{65}, std::size_t{1000}}) {
    Md5 md5;
    for (std::size_t at = 0; at < data.size(); at += piece)
      md5.Update(data.data() + at, std::min(piece, data.size() - at));
    md5.Update(data.data(), 0);  // an empty piece changes nothing
    EXPECT_EQ(md5.Finish(), whole) << "pieces of " << piece;
  }
}

}  // namespace
}  // namespace velmora::patcher
