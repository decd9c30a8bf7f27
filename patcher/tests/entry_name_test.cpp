#include "patcher/entry_name.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/text/utf.h"

namespace velmora::patcher {
namespace {

std::string Show(std::u16string_view text) { return Utf16ToUtf8(text); }

TEST(NameHashTest, IsFnv1OverLowerCasedUnitsWithForwardSlashes) {
  EXPECT_EQ(NameHash(u""), 0x811C9DC5u);
  EXPECT_EQ(NameHash(u"a"), 0x050C5D7Eu);  // multiply first, then exclusive-or
  EXPECT_EQ(NameHash(u"Launcher/Foo.dll"), 0xAF585CAEu);
  EXPECT_EQ(NameHash(u"launcher\\foo.DLL"), 0xAF585CAEu);
  EXPECT_EQ(NameHash(u"DATA\\\u00C4rger.txt"), NameHash(u"data/\u00E4rger.txt"));
  EXPECT_NE(NameHash(u"data\\a.txt"), NameHash(u"data\\b.txt"));
}

TEST(LowerCaseUnitTest, MapsLettersOfEveryScriptTheSameOnEveryPlatform) {
  const struct {
    char16_t upper, lower;
  } cases[] = {
      {u'A', u'a'},           {u'Z', u'z'},           {u'a', u'a'},           {u'\\', u'\\'},
      {0x00C4, 0x00E4},       {0x00DE, 0x00FE},       {0x00D7, 0x00D7} /* multiplication sign */,
      {0x0130, u'i'},         {0x0178, 0x00FF},       {0x0100, 0x0101},       {0x0101, 0x0101},
      {0x03A9, 0x03C9},       {0x0414, 0x0434},       {0x0401, 0x0451},       {0x1E9E, 0x00DF},
      {0x2160, 0x2170},       {0xFF21, 0xFF41},       {0xD800, 0xD800},       {0x00DF, 0x00DF},
  };
  for (const auto& c : cases)
    EXPECT_EQ(static_cast<int>(LowerCaseUnit(c.upper)), static_cast<int>(c.lower))
        << std::hex << static_cast<int>(c.upper);
}

TEST(EntryFilterTest, PrefixRuleFollowsTheLauncherFolder) {
  const EntryFilter launcher_only{u"launcher\\", false};
  const EntryFilter all_but_launcher{u"launcher\\", true};
  const struct {
    std::u16string name;
    bool under;
  } cases[] = {
      {u"launcher\\x.dll", true},   {u"launcher//x.dll", true}, {u"LAUNCHER/data/a.png", true},
      {u"launchers\\x.dll", false}, {u"launcher", false},       {u"game\\launcher\\x.dll", false},
      {u"launcher.txt", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LiesUnderPrefix(c.name, u"launcher\\"), c.under) << Show(c.name);
    EXPECT_EQ(FilterRetainsEntry(launcher_only, c.name), c.under) << Show(c.name);
    EXPECT_EQ(FilterRetainsEntry(all_but_launcher, c.name), !c.under) << Show(c.name);
  }
  EXPECT_TRUE(LiesUnderPrefix(u"a\\b\\c", u"a//b/"));
  EXPECT_TRUE(FilterRetainsByPrefix(EntryFilter{u"", true}, u"anything"));
}

TEST(EntryFilterTest, NoPassKeepsTheBootstrapsNewLauncher) {
  const EntryFilter passes[] = {{u"launcher\\", false}, {u"launcher\\", true}, {u"", false}};
  for (const auto& filter : passes) {
    EXPECT_FALSE(FilterRetainsEntry(filter, u"launcher\\NewLauncher.exe"));
    EXPECT_FALSE(FilterRetainsEntry(filter, u"Launcher/newlauncher.EXE"));
    // The prefix rule alone (local files) does not know the bootstrap rule.
    EXPECT_EQ(FilterRetainsByPrefix(filter, u"launcher\\NewLauncher.exe"), !filter.exclude);
  }
  EXPECT_TRUE(FilterRetainsEntry({u"", false}, u"launcher\\NewLauncher.exe.bak"));
}

TEST(UnsafeEntryNameTest, NamesThatLeaveTheInstallFolderAreRefused) {
  const std::u16string unsafe[] = {
      u"",
      u"..\\..\\x.dll",
      u"game\\..\\..\\x.dll",
      u"game/../../x.dll",
      u"..",
      u"game\\.\\x.dll",
      u"\\x.dll",
      u"/etc/passwd",
      u"\\\\server\\share\\x.dll",
      u"\\\\?\\C:\\x.dll",
      u"C:\\Windows\\x.dll",
      u"c:x.dll",
      u"game\\x.dll:stream",
      u"CON",
      u"game\\nul.txt",
      u"Com1.dat",
      u"lpt9",
      u"COM\u00B9.txt",
      u"conout$",
      u"aux .txt",
      u"game\\x.dll.",
      u"game\\x.dll ",
      u"game \\x.dll",
      u"game\\",
      u"game\\x*.dll",
      u"game\\x?.dll",
      u"a\tb",
      u"a|b",
  };
  for (const auto& name : unsafe) EXPECT_NE(UnsafeEntryNameReason(name), nullptr) << Show(name);

  const std::u16string safe[] = {
      u"game\\x.dll",  u"launcher/Launcher.exe", u"game\\\\data//x.pak", u"..foo\\bar",
      u"game\\.hidden", u"console.dat",          u"com10.dat",           u"LPT.txt",
      u"\u00C4rger\\\u65E5\u672C.txt",
  };
  for (const auto& name : safe) EXPECT_EQ(UnsafeEntryNameReason(name), nullptr) << Show(name);
}

}  // namespace
}  // namespace velmora::patcher
