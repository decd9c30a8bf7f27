#include <gtest/gtest.h>

#include <chrono>

#include "foundation/os/process.h"
#include "orvwebkit/platform/platform.h"
#include "testing/test_support.h"

namespace velmora::orvwebkit {
namespace {

TEST(ShotToolTest, PicturesTheSamplePageAfterItsScripts) {
  velmora::testing::ScopedTempDir temp;
  const auto picture = temp.path() / "sample.png";
  os::ChildProcess shot;
  os::ChildProcessOptions options;
  options.capture_output = true;
  ASSERT_TRUE(shot.Start(velmora::testing::ProgramPath("orvwebkit-shot"),
                         {(velmora::testing::SourceFolder() / "orvwebkit/tools/sample/sample.html")
                              .string(),
                          picture.string(), "setProgress(0.75);"},
                         options));
  const auto code = shot.Wait(std::chrono::seconds(120));
  ASSERT_TRUE(code.has_value()) << "orvwebkit-shot did not finish";
  ASSERT_EQ(*code, 0) << shot.Output();
  // The tool's output, also what it wrote while the browser ran.
  EXPECT_NE(shot.Output().find("loaded file:"), std::string::npos) << shot.Output();
  EXPECT_NE(shot.Output().find("sample.png: 800x600"), std::string::npos) << shot.Output();

  const std::string png = velmora::testing::ReadFileBytes(picture);
  std::vector<std::uint8_t> pixels(800 * 600 * 4);
  const auto image =
      platform::DecodePng(reinterpret_cast<const std::uint8_t*>(png.data()), png.size(),
                          pixels.data(), 800 * 4, 800, 600);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width, 800);
  ASSERT_EQ(image->height, 600);
  auto rgb = [&](int x, int y) {
    const std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * 800 + x) * 4];
    return (std::uint32_t{p[2]} << 16) | (p[1] << 8) | p[0];
  };
  EXPECT_EQ(rgb(5, 590), 0x1b2a41u);  // page background
  EXPECT_EQ(rgb(790, 5), 0xc0392bu);  // banner
  EXPECT_EQ(rgb(45, 540), 0x27ae60u);  // the bar's fill at its start
  // The script moved the fill to 75 %: 0.75 x 560 = 420 pixels wide.
  EXPECT_EQ(rgb(40 + 410, 532), 0x27ae60u);
  EXPECT_EQ(rgb(40 + 430, 532), 0x0b1320u);
  EXPECT_EQ(rgb(630, 505), 0xf39c12u);  // the button
}

}  // namespace
}  // namespace velmora::orvwebkit
