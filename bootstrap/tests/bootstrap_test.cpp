#include "bootstrap/bootstrap.h"

#include <gtest/gtest.h>

#include "foundation/os/files.h"
#include "testing/test_support.h"

namespace velmora {
namespace {

TEST(BootstrapOptionsTest, PrefixesAreTestedInOrderAndLaterElementsWin) {
  const auto options = ParseBootstrapOptions({
      u"C:\\Game\\launcher\\Launcher.exe",
      u"-handle:0000ABCD",
      u"-del:C:\\first.tmp",
      u"-selfpatch:C:\\Game",
      u"-del:C:\\second.tmp",
      u"-handle:zz",          // not hexadecimal: the earlier handle stays
      u"-HANDLE:00000001",    // prefixes are case-sensitive
  });
  EXPECT_EQ(options.handle, 0xABCDu);
  EXPECT_TRUE(options.has_delete_path);
  EXPECT_EQ(options.delete_path, u"C:\\second.tmp");
  EXPECT_TRUE(options.self_patch);
  EXPECT_EQ(options.self_patch_folder, u"C:\\Game");

  const auto none = ParseBootstrapOptions({u"Launcher.exe", u"-e", u"qa-info"});
  EXPECT_EQ(none.handle, 0u);
  EXPECT_FALSE(none.has_delete_path);
  EXPECT_FALSE(none.self_patch);
}

TEST(BootstrapOptionsTest, HandleValuesReadAsOneHexadecimalNumber) {
  const struct {
    std::u16string text;
    bool ok;
    std::uint32_t value;
  } cases[] = {
      {u"000001F4", true, 0x1F4}, {u"abc", true, 0xABC},       {u"0x10", true, 0x10},
      {u"12zz", true, 0x12},      {u" 7", true, 7},            {u"zz", false, 0},
      {u"", false, 0},            {u"FFFFFFFF", true, 0xFFFFFFFF}, {u"100000000", false, 0},
  };
  for (const auto& c : cases) {
    std::uint32_t value = 0;
    EXPECT_EQ(ParseHexHandle(c.text, &value), c.ok);
    if (c.ok) {
      EXPECT_EQ(value, c.value);
    }
  }
}

TEST(DeleteHandOverFileTest, DeletesFilesAndLeavesFoldersAlone) {
  testing::ScopedTempDir dir;
  const auto file = dir.path() / "old-launcher.tmp";
  testing::WriteFileBytes(file, "x");
  DeleteHandOverFile(file.u16string());
  EXPECT_FALSE(os::PathExists(file));

  const auto folder = dir.path() / "folder";
  ASSERT_TRUE(os::CreateFolder(folder));
  DeleteHandOverFile(folder.u16string());
  EXPECT_TRUE(os::IsDirectory(folder));

  DeleteHandOverFile(u"");  // nothing to do, nothing touched
  EXPECT_TRUE(os::IsDirectory(dir.path()));
}

}  // namespace
}  // namespace velmora
