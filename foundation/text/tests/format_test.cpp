#include "foundation/text/format.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace velmora {
namespace {

TEST(FormatTextTest, NarrowConversionsFollowTheLauncherConventions) {
  EXPECT_EQ(FormatText("%s and %ls", "utf8 \xC3\xA9", u"wide \u00e9"),
            "utf8 \xC3\xA9 and wide \xC3\xA9");
  EXPECT_EQ(FormatText("%I64d|%I64u", static_cast<std::int64_t>(-5000000000LL),
                       static_cast<std::uint64_t>(18000000000000000000ULL)),
            "-5000000000|18000000000000000000");
  EXPECT_EQ(FormatText("%08X|%x|%5d|%-5d|%.1f%%", 0xABCu, 255u, 42, 42, 2.25),
            "00000ABC|ff|   42|42   |2.2%");
  EXPECT_EQ(FormatText("%u %lu %zu", 4000000000u, 7ul, static_cast<std::size_t>(9)), "4000000000 7 9");
  EXPECT_EQ(FormatText("[%5s][%-4s][%.2s]", "ab", "c", "xyz"), "[   ab][c   ][xy]");
  EXPECT_EQ(FormatText("%s", static_cast<const char*>(nullptr)), "(null)");
  EXPECT_EQ(FormatText("100%% sure %q"), "100% sure %q");
}

TEST(FormatTextTest, WideConversionsTakeWideTextsUnlessAskedForNarrow) {
  EXPECT_EQ(FormatWide(u"%s|%ls|%hs", u"one", u"two", "thr\xC3\xA9\x65"), u"one|two|thr\u00e9e");
  EXPECT_EQ(FormatWide(u"%I64u bytes, %d%%", static_cast<std::uint64_t>(1ULL << 40), -3),
            u"1099511627776 bytes, -3%");
  EXPECT_EQ(FormatWide(u"%c%hc", u'\u0416', 'z'), u"\u0416z");
}

}  // namespace
}  // namespace velmora
