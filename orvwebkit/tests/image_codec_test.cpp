#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "orvwebkit/platform/platform.h"

namespace velmora::orvwebkit::platform {
namespace {

// A 5 x 3 picture in blue, green, red, alpha order with opaque alpha.
std::vector<std::uint8_t> Picture() {
  std::vector<std::uint8_t> pixels(5 * 3 * 4);
  for (int i = 0; i < 15; ++i) {
    pixels[i * 4 + 0] = static_cast<std::uint8_t>(i * 17);
    pixels[i * 4 + 1] = static_cast<std::uint8_t>(255 - i * 11);
    pixels[i * 4 + 2] = static_cast<std::uint8_t>(i * 5 + 3);
    pixels[i * 4 + 3] = 255;
  }
  return pixels;
}

TEST(ImageCodecTest, EncodedPicturesDecodeToTheSamePixels) {
  const auto pixels = Picture();
  std::vector<std::uint8_t> png;
  ASSERT_TRUE(EncodePng(pixels.data(), 5, 3, 5 * 4, &png));
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);

  // Decoded into a larger surface with a wider stride: the rest stays.
  const int stride = 8 * 4;
  std::vector<std::uint8_t> surface(static_cast<std::size_t>(stride) * 4, 0xAB);
  const auto image = DecodePng(png.data(), png.size(), surface.data(), stride, 8, 4);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 5);
  EXPECT_EQ(image->height, 3);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(std::memcmp(surface.data() + y * stride, pixels.data() + y * 20, 20), 0) << y;
    EXPECT_EQ(surface[y * stride + 20], 0xAB);
  }
  EXPECT_EQ(surface[3 * stride], 0xAB);
}

TEST(ImageCodecTest, RefusesDamagedAndOversizedData) {
  const auto pixels = Picture();
  std::vector<std::uint8_t> png;
  ASSERT_TRUE(EncodePng(pixels.data(), 5, 3, 20, &png));
  std::vector<std::uint8_t> surface(64 * 64 * 4);
  EXPECT_FALSE(DecodePng(png.data(), png.size(), surface.data(), 16, 4, 3));  // too wide
  EXPECT_FALSE(DecodePng(png.data(), png.size(), surface.data(), 20, 5, 2));  // too tall
  const std::uint8_t garbage[] = "not a picture at all";
  EXPECT_FALSE(DecodePng(garbage, sizeof garbage, surface.data(), 256, 64, 64));
  std::vector<std::uint8_t> truncated(png.begin(), png.begin() + png.size() / 2);
  EXPECT_FALSE(DecodePng(truncated.data(), truncated.size(), surface.data(), 256, 64, 64));
}

}  // namespace
}  // namespace velmora::orvwebkit::platform
