#include "orvwebkit/src/frame_diff.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace velmora::orvwebkit {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

struct Frame {
  std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(kWidth * kHeight * 4, 0x20);
  void Set(int x, int y, std::uint8_t value) { pixels[(y * kWidth + x) * 4 + 1] = value; }
};

bool Covers(const std::vector<Rect>& rects, int x, int y) {
  for (const Rect& r : rects) {
    if (x >= r.x && y >= r.y && x < r.x + r.width && y < r.y + r.height) return true;
  }
  return false;
}

std::vector<Rect> Diff(const Frame& a, const Frame& b, std::size_t max_rects = 16) {
  return FindChangedRects(a.pixels.data(), b.pixels.data(), kWidth, kHeight, kWidth * 4,
                          max_rects);
}

TEST(FrameDiffTest, IdenticalFramesHaveNoChange) {
  Frame a, b;
  EXPECT_TRUE(Diff(a, b).empty());
}

TEST(FrameDiffTest, OnePixelGivesItsOwnRectangle) {
  Frame a, b;
  b.Set(63, 47, 1);  // the last pixel: the right and bottom edges count
  const auto rects = Diff(a, b);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].x, 63);
  EXPECT_EQ(rects[0].y, 47);
  EXPECT_EQ(rects[0].width, 1);
  EXPECT_EQ(rects[0].height, 1);
}

TEST(FrameDiffTest, DistantChangesStaySeparateAndNearOnesJoin) {
  Frame a, b;
  b.Set(2, 1, 9);
  b.Set(40, 3, 9);   // two rows further: the same run
  b.Set(10, 30, 9);  // far below: a run of its own
  const auto rects = Diff(a, b);
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0].x, 2);
  EXPECT_EQ(rects[0].y, 1);
  EXPECT_EQ(rects[0].width, 39);
  EXPECT_EQ(rects[0].height, 3);
  EXPECT_EQ(rects[1].y, 30);
  for (auto [x, y] : {std::pair{2, 1}, {40, 3}, {10, 30}}) EXPECT_TRUE(Covers(rects, x, y));
}

TEST(FrameDiffTest, ALimitOfOneGivesTheUnion) {
  Frame a, b;
  b.Set(5, 0, 9);
  b.Set(50, 20, 9);
  b.Set(20, 40, 9);
  const auto rects = Diff(a, b, 1);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].x, 5);
  EXPECT_EQ(rects[0].y, 0);
  EXPECT_EQ(rects[0].width, 46);
  EXPECT_EQ(rects[0].height, 41);
}

TEST(FrameDiffTest, ChangesOnEveryOtherRowStayWithinTheLimit) {
  Frame a, b;
  for (int y = 0; y < kHeight; y += 6) b.Set(y % kWidth, y, 7);
  const auto rects = Diff(a, b, 3);
  EXPECT_LE(rects.size(), 3u);
  for (int y = 0; y < kHeight; y += 6) EXPECT_TRUE(Covers(rects, y % kWidth, y)) << y;
}

TEST(FrameDiffTest, MergingKeepsEveryInputCovered) {
  std::vector<Rect> rects = {{0, 0, 2, 2}, {100, 100, 5, 5}, {3, 0, 2, 2}, {0, 0, 0, 4}};
  MergeRects(&rects, 2);
  ASSERT_EQ(rects.size(), 2u);  // the empty one is dropped, the close pair merged
  for (auto [x, y] : {std::pair{0, 0}, {4, 1}, {104, 104}}) EXPECT_TRUE(Covers(rects, x, y));
  EXPECT_FALSE(Covers(rects, 50, 50));
}

}  // namespace
}  // namespace velmora::orvwebkit
