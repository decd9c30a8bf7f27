#include "patcher/install_comparison.h"

#include <gtest/gtest.h>

#include <set>

#include "foundation/text/utf.h"
#include "patcher/tests/patcher_test_support.h"

namespace velmora::patcher {
namespace {

using testing::FileElement;
using testing::ImageText;
using testing::Native;
namespace fs = std::filesystem;

std::set<std::string> Names(const EntryWorkList& list) {
  std::set<std::string> names;
  for (const ManifestFile* entry : list.nodes) names.insert(Utf16ToUtf8(entry->name));
  return names;
}

std::set<std::u16string> Paths(const PathWorkList& list) {
  return {list.nodes.begin(), list.nodes.end()};
}

class InstallComparisonTest : public testing::PatcherTest {
 protected:
  void Write(const fs::path& relative, const std::string& content = "x") {
    velmora::testing::WriteFileBytes(temp() / relative, content);
  }
  std::u16string Full(const std::u16string& relative) {
    return TempText() + os_separator_ + Native(relative);
  }

  // An install in which every kind of file turns up once.
  std::string BuildInstall() {
    const std::string launcher = testing::BuildVersionedImage(1, 0, 0, 1);
    const std::string versioned = testing::BuildVersionedImage(2, 0, 0, 0);
    const std::string unversioned = testing::BuildImageWithoutResources();
    Write("launcher/Launcher.exe", launcher);
    Write("launcher/old.dll", "stale");
    Write("launcher.log", "player's log");
    Write("Logs/a.LOG", "player's log");
    Write("game/data.pak", "data");
    Write("game/changed.dat", "new!");
    Write("game/size.dat", "abc");
    Write("game/bin/v.dll", versioned);
    Write("game/bin/plain.dll", unversioned);
    Write("game/userdata", "a file, not the folder");
    for (const char* skipped : {"UserData/save.dat", "game/sub/userdata/x.dat", "support/x",
                                "Patches/x", "server/x", "launcherupdate/Launcher.exe"})
      Write(skipped, "never looked at");
    return ImageText({
        FileElement("launcher\\Launcher.exe", launcher, "1.0.0.1"),
        FileElement("game\\data.pak", "data"),
        FileElement("game\\changed.dat", "old!"),
        FileElement("game\\size.dat", "abcd"),
        FileElement("game\\missing.dat", "gone"),
        FileElement("game\\bin\\v.dll", versioned, "2.0.0.1"),
        FileElement("game\\bin\\plain.dll", unversioned, "9.9.9.9"),
    });
  }

  std::unique_ptr<ManifestImage> Compare(const std::string& manifest, const EntryFilter* filter,
                                         bool want_unchanged = true) {
    return ProcessImage(TempText(), manifest, filter, &fetch_, &remove_,
                        want_unchanged ? &unchanged_ : nullptr, &processed_, &total_, &cancel_);
  }

  const std::u16string os_separator_ = Native(u"\\");
  EntryWorkList fetch_, unchanged_;
  PathWorkList remove_;
  std::atomic<std::int32_t> processed_{-1}, total_{-1};
  std::atomic<bool> cancel_{false};
};

TEST_F(InstallComparisonTest, SortsEveryFileIntoFetchRemoveOrUnchanged) {
  const auto image = Compare(BuildInstall(), nullptr);
  ASSERT_NE(image, nullptr) << LogText();
  EXPECT_EQ(Names(fetch_), (std::set<std::string>{"game\\changed.dat", "game\\size.dat",
                                                  "game\\missing.dat", "game\\bin\\v.dll"}));
  EXPECT_EQ(Paths(remove_), (std::set<std::u16string>{Full(u"launcher\\old.dll"), Full(u"game\\userdata")}));
  EXPECT_EQ(Names(unchanged_), (std::set<std::string>{"launcher\\Launcher.exe", "game\\data.pak",
                                                      "game\\bin\\plain.dll"}));
  EXPECT_EQ(fetch_.count, 4);
  EXPECT_EQ(remove_.count, 2);
  EXPECT_EQ(unchanged_.count, 3);
  EXPECT_EQ(total_.load(), 7);
  EXPECT_EQ(processed_.load(), 6) << "the missing file counts only in the total";
  // Missing entries are found last, so they stand at the front.
  EXPECT_EQ(fetch_.nodes.front()->name, u"game\\missing.dat");

  EXPECT_EQ(CountInLog("info: file version, \"2.0.0.0\" does not match image file version, "
                       "\"2.0.0.1\".  adding to fetch list.\r\n"),
            1);
  EXPECT_EQ(CountInLog("info: \"game\\missing.dat\" exists in image but not on client.  adding to "
                       "fetch list.\r\n"),
            1);
  EXPECT_EQ(CountInLog("info: \"launcher\\old.dll\" not found in the manifest -- adding to remove "
                       "list.\r\n"),
            1);
  EXPECT_EQ(CountInLog("processing \"launcher\\Launcher.exe\"...\r\n"), 1);
  EXPECT_EQ(CountInLog(".log\"...") + CountInLog(".LOG\"..."), 0) << "log files are not looked at";
  EXPECT_EQ(CountInLog("File Validation: Hash check"), 4)
      << "the versioned .dll is decided by its version; the size mismatch unread";
  for (const char* unseen : {"save.dat", "sub\\userdata", "support", "Patches", "server\\x",
                             "launcherupdate"})
    EXPECT_EQ(CountInLog(unseen), 0) << unseen;
  EXPECT_TRUE(fs::exists(temp() / "launcher" / "old.dll")) << "the comparison changes nothing";
}

TEST_F(InstallComparisonTest, WithoutTheUnchangedListCorrectFilesAreOnNoList) {
  const auto image = Compare(BuildInstall(), nullptr, false);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(fetch_.count, 4);
  EXPECT_EQ(unchanged_.count, 0);
}

TEST_F(InstallComparisonTest, TheLauncherPassLooksOnlyAtTheLauncherFolder) {
  const EntryFilter launcher_only{u"launcher\\", false};
  const auto image = Compare(BuildInstall(), &launcher_only);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(total_.load(), 1);
  EXPECT_EQ(fetch_.count, 0);
  EXPECT_EQ(Paths(remove_), (std::set<std::u16string>{Full(u"launcher\\old.dll")}));
  EXPECT_EQ(Names(unchanged_), (std::set<std::string>{"launcher\\Launcher.exe"}));
  EXPECT_EQ(CountInLog("Skipping local file due to discovery filter: \""), 6) << LogText();
  EXPECT_EQ(CountInLog("Skipping local file due to discovery filter: \"" +
                       Utf16ToUtf8(Full(u"game\\data.pak")) + "\".\r\n"),
            1);

  const EntryFilter all_but_launcher{u"launcher\\", true};
  const auto game = Compare(BuildInstall(), &all_but_launcher);
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(total_.load(), 6);
  EXPECT_EQ(fetch_.count, 4);
  EXPECT_EQ(Paths(remove_), (std::set<std::u16string>{Full(u"game\\userdata")}));
}

TEST_F(InstallComparisonTest, ASecondPathWithTheSameNameHashIsLeftAlone) {
  Write("f986198.dat", "one");
  Write("f1136482.dat", "two");
  const auto image = Compare(ImageText({FileElement("f986198.dat", "one")}), nullptr);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(processed_.load(), 1);
  EXPECT_EQ(remove_.count, 0);
  EXPECT_EQ(fetch_.count + unchanged_.count, 1);
  EXPECT_EQ(CountInLog("\" has already been processed!\r\n"), 1);
}

TEST_F(InstallComparisonTest, ACancelEndsTheScanWithNothingToDo) {
  const std::string manifest = BuildInstall();
  cancel_ = true;
  EXPECT_EQ(Compare(manifest, nullptr), nullptr);
  EXPECT_EQ(fetch_.count + remove_.count + unchanged_.count, 0);
  EXPECT_TRUE(fetch_.nodes.empty() && remove_.nodes.empty() && unchanged_.nodes.empty());
  EXPECT_EQ(CountInLog("info: canceled by user[4].\r\nerror: unable to process manifest.\r\n"), 1)
      << LogText();
  EXPECT_EQ(CountInLog("processing \""), 0) << "the flag is read before the first file";
}

TEST_F(InstallComparisonTest, ABadManifestOrRootGivesNothing) {
  Write("extra.dat");
  EXPECT_EQ(Compare("<Image/>", nullptr), nullptr);
  EXPECT_EQ(CountInLog("error: unable to parse manifest.\r\n"), 1);

  // A manifest that names a path outside the install: nothing is compared,
  // fetched or removed.
  EXPECT_EQ(Compare(ImageText({FileElement("..\\..\\evil.dll", "x")}), nullptr), nullptr);
  EXPECT_EQ(CountInLog("error: unable to parse manifest.\r\n"), 2);
  EXPECT_EQ(fetch_.count + remove_.count, 0);
  EXPECT_TRUE(fs::exists(temp() / "extra.dat"));

  EXPECT_EQ(Compare("", nullptr), nullptr);
  EXPECT_EQ(ProcessImage(TempText(), ImageText({}), nullptr, nullptr, &remove_, nullptr, nullptr,
                         nullptr, nullptr),
            nullptr);
  EXPECT_EQ(ProcessImage(u"", ImageText({}), nullptr, &fetch_, &remove_, nullptr, nullptr, nullptr,
                         nullptr),
            nullptr);

  const std::u16string not_canonical = u"C:\\Games\\x\\..\\y";
  EXPECT_EQ(ProcessImage(not_canonical, ImageText({}), nullptr, &fetch_, &remove_, nullptr, nullptr,
                         nullptr, nullptr),
            nullptr);
  EXPECT_EQ(CountInLog("error: process_image expects a canonical directory, got "
                       "'C:\\Games\\x\\..\\y'\r\n"),
            1);
}

TEST(CanonicalRootTest, DotComponentsAreRejected) {
  const struct {
    std::u16string root;
    bool canonical;
  } cases[] = {
      {u"C:\\Games\\Velmora", true},  {u"/home/a/.games/velmora", true}, {u"C:\\Games\\x\\..\\y", false},
      {u"C:\\Games\\.hidden", false}, {u"/a/./b", false},                {u"/a/..", false},
      {u"C:/Games/x/../y", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsCanonicalInstallRoot(c.root), c.canonical) << Utf16ToUtf8(c.root);
}

}  // namespace
}  // namespace velmora::patcher
