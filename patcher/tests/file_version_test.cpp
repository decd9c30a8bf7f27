#include "foundation/os/file_version.h"

#include <gtest/gtest.h>

#include "patcher/tests/patcher_test_support.h"

namespace velmora::patcher {
namespace {

using velmora::testing::ScopedTempDir;
using velmora::testing::WriteFileBytes;

// The same images give the same versions through the system's version
// functions (Windows) and through the PE reader (POSIX).
TEST(FileVersionTest, ReadsTheFixedFileVersionOfAnImage) {
  ScopedTempDir temp;
  const struct {
    const char* name;
    std::string bytes;
    std::optional<std::string> version;
  } cases[] = {
      {"plain.dll", testing::BuildVersionedImage(1, 2, 3, 4), "1.2.3.4"},
      {"wide.exe", testing::BuildVersionedImage(65535, 0, 1, 65534, true), "65535.0.1.65534"},
      {"empty-block.dll", testing::BuildImageWithEmptyVersionBlock(), std::nullopt},
      {"no-resources.dll", testing::BuildImageWithoutResources(), std::nullopt},
      {"text.dll", "MZ this is not an image", std::nullopt},
      {"cut.dll", testing::BuildVersionedImage(1, 2, 3, 4).substr(0, 0x210), std::nullopt},
  };
  for (const auto& c : cases) {
    WriteFileBytes(temp.path() / c.name, c.bytes);
    EXPECT_EQ(os::ReadFileVersionText(temp.path() / c.name), c.version) << c.name;
  }
  EXPECT_EQ(os::ReadFileVersionText(temp.path() / "missing.dll"), std::nullopt);
}

}  // namespace
}  // namespace velmora::patcher
