#include "patcher/file_actions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "common/registry_path.h"
#include "foundation/os/file_io.h"
#include "foundation/text/utf.h"
#include "patcher/install_record.h"
#include "patcher/tests/patcher_test_support.h"

namespace velmora::patcher {
namespace {

using testing::Native;
namespace fs = std::filesystem;

std::string Show(std::u16string_view text) { return Utf16ToUtf8(text); }

class FileActionsTest : public testing::PatcherTest {
 protected:
  void Write(const fs::path& relative, const std::string& content = "x") {
    velmora::testing::WriteFileBytes(temp() / relative, content);
  }
  bool Exists(const fs::path& relative) { return fs::exists(temp() / relative); }
};

TEST(JoinPathTest, JoinsWithOneSeparatorAndNativeSeparators) {
  const struct {
    std::u16string name, base, expected;
  } cases[] = {
      {u"\\x\\y.dll", u"C:\\Games\\V", u"C:\\Games\\V\\x\\y.dll"},
      {u"x", u"C:\\Games\\V\\", u"C:\\Games\\V\\x"},
      {u"//x/y.dll", u"C:/Games/V/", u"C:\\Games\\V\\x\\y.dll"},
      {u"x", u"", u"x"},
      {u"", u"C:\\V", u"C:\\V\\"},
  };
  for (const auto& c : cases) {
    std::u16string out = u"old";
    EXPECT_EQ(JoinPath(c.name, c.base, 260, &out), Native(c.expected).size()) << Show(c.name);
    EXPECT_EQ(out, Native(c.expected)) << Show(c.name);
  }
}

TEST(JoinPathTest, AResultThatDoesNotFitLeavesAnEmptyPath) {
  std::u16string out;
  // "base" + separator + "name" is 9 units, 10 with the terminator.
  EXPECT_EQ(JoinPath(u"name", u"base", 10, &out), 9u);
  out = u"old";
  EXPECT_EQ(JoinPath(u"name", u"base", 9, &out), 0u);
  EXPECT_TRUE(out.empty());

  std::u16string path = u"base";
  EXPECT_EQ(AppendPath(u"sub\\file", &path, 260), 13u);
  EXPECT_EQ(path, Native(u"base\\sub\\file"));
  EXPECT_EQ(AppendPath(u"more", &path, 15), 0u);
  EXPECT_TRUE(path.empty());
}

TEST(StartsWithIgnoringCaseTest, ComparesLowerCasedUnits) {
  EXPECT_TRUE(StartsWithIgnoringCase(u"LAUNCHER\\", u"launcher\\x.dll"));
  EXPECT_TRUE(StartsWithIgnoringCase(u"\u00C4RGER", u"\u00E4rger.txt"));
  EXPECT_TRUE(StartsWithIgnoringCase(u"", u"x"));
  EXPECT_FALSE(StartsWithIgnoringCase(u"launcher\\", u"launcher"));
  EXPECT_FALSE(StartsWithIgnoringCase(u"launcher/", u"launcher\\x")) << "only case is ignored";
}

TEST_F(FileActionsTest, CreatesFoldersLevelByLevel) {
  EXPECT_TRUE(CreateFolders(TempText("a/b/../c/./d")));
  EXPECT_TRUE(fs::is_directory(temp() / "a" / "c" / "d"));
  EXPECT_FALSE(fs::exists(temp() / "a" / "b")) << "\"..\" is resolved before creating";
  EXPECT_TRUE(CreateFolders(TempText("a/c"))) << "an existing folder";
  EXPECT_FALSE(CreateFolders(u""));
  Write("file");
  EXPECT_FALSE(CreateFolders(TempText("file/sub")));
}

TEST_F(FileActionsTest, CreatesTheParentFoldersOfAFile) {
  const std::u16string path = TempText() + Native(u"\\a\\\\\\b\\c.txt");
  EXPECT_TRUE(CreateParentFolders(path));
  EXPECT_TRUE(fs::is_directory(temp() / "a" / "b"));
  EXPECT_FALSE(fs::exists(temp() / "a" / "b" / "c.txt"));
  EXPECT_FALSE(CreateParentFolders(u"c.txt")) << "no folder part";
}

TEST_F(FileActionsTest, DeletesATreeWithReadOnlyFiles) {
  Write("tree/a.txt");
  Write("tree/sub/deeper/b.txt");
  Write("tree/sub/.hidden");
  Write("tree/readonly.txt");
  fs::permissions(temp() / "tree" / "readonly.txt", fs::perms::owner_write, fs::perm_options::remove);
  fs::create_directories(temp() / "tree" / "empty");
  EXPECT_TRUE(DeleteTree(TempText("tree")));
  EXPECT_FALSE(Exists("tree"));
}

TEST_F(FileActionsTest, DeletingAMissingFolderSucceedsAfterAPause) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(DeleteTree(TempText("never-was")));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_FALSE(DeleteTree(u""));
  EXPECT_FALSE(DeleteTree(std::u16string(259, u'x'))) << "259 units and more fail at once";
}

TEST_F(FileActionsTest, DeleteTreeRemovesLinksWithoutFollowingThem) {
  Write("outside/keep.txt");
  Write("tree/a.txt");
  std::error_code ec;
  fs::create_directory_symlink(temp() / "outside", temp() / "tree" / "link", ec);
  if (ec) GTEST_SKIP() << "no folder links here: " << ec.message();
  fs::create_directory_symlink(temp() / "outside", temp() / "linked-tree", ec);
  EXPECT_TRUE(DeleteTree(TempText("tree")));
  EXPECT_FALSE(Exists("tree"));
  EXPECT_TRUE(DeleteTree(TempText("linked-tree")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(temp() / "linked-tree")));
  EXPECT_TRUE(Exists("outside/keep.txt"));
}

TEST_F(FileActionsTest, DestinationsStayUnderTheBaseAndFollowTheFolderPair) {
  const std::u16string base = Native(u"C:\\Games\\V");
  const FolderPair pair{u"launcher\\", u"launcherupdate\\"};
  const struct {
    std::u16string name;
    bool with_pair;
    std::u16string expected;
  } cases[] = {
      {u"launcher\\Launcher.exe", true, u"C:\\Games\\V\\launcherupdate\\Launcher.exe"},
      {u"LAUNCHER\\data\\a.png", true, u"C:\\Games\\V\\launcherupdate\\data\\a.png"},
      {u"launcher/data/b.png", true, u"C:\\Games\\V\\launcherupdate\\data\\b.png"},
      {u"launcher.txt", true, u"C:\\Games\\V\\launcher.txt"},
      {u"game\\x.dat", true, u"C:\\Games\\V\\game\\x.dat"},
      {u"launcher\\Launcher.exe", false, u"C:\\Games\\V\\launcher\\Launcher.exe"},
      {u"game/sub/x.dat", false, u"C:\\Games\\V\\game\\sub\\x.dat"},
  };
  for (const auto& c : cases) {
    std::u16string out;
    EXPECT_TRUE(DestinationOf(c.name, c.with_pair ? &pair : nullptr, &out, base)) << Show(c.name);
    EXPECT_EQ(out, Native(c.expected)) << Show(c.name);
  }
}

TEST_F(FileActionsTest, DestinationsThatCannotBeBuiltFail) {
  const FolderPair pair{u"launcher\\", u"launcherupdate\\"};
  const FolderPair empty_pair{u"", u"launcherupdate\\"};
  std::u16string out;
  EXPECT_FALSE(DestinationOf(u"x", nullptr, &out, u""));
  EXPECT_FALSE(DestinationOf(u"", nullptr, &out, u"C:\\V"));
  EXPECT_FALSE(DestinationOf(u"x", nullptr, nullptr, u"C:\\V"));
  EXPECT_FALSE(DestinationOf(u"x", &empty_pair, &out, u"C:\\V"));
  EXPECT_EQ(LogText(), "") << "argument errors log nothing";

  const std::u16string long_base(250, u'b');
  EXPECT_FALSE(DestinationOf(u"game\\0123456789.dat", nullptr, &out, long_base));
  EXPECT_EQ(CountInLog("Failed to build dest path for file (game\\0123456789.dat).\r\n"), 1);
  EXPECT_FALSE(DestinationOf(u"launcher\\0123456789.dat", &pair, &out, long_base));
  EXPECT_EQ(CountInLog("Failed to build mapped dest path for file (launcher\\0123456789.dat).\r\n"), 1);

  for (const std::u16string name : {u"..\\..\\x.dll", u"launcher\\..\\..\\x.dll", u"\\\\srv\\x",
                                    u"C:\\x.dll", u"/etc/passwd", u"game\\NUL"}) {
    out = u"old";
    EXPECT_FALSE(DestinationOf(name, &pair, &out, u"C:\\V")) << Show(name);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(CountInLog("Failed to build dest path for file (" + Show(name) + "): "), 1) << Show(name);
  }
}

TEST_F(FileActionsTest, RemoveFilesStopsAtTheFirstFileThatStays) {
  Write("a.dat");
  Write("locked/b.dat");
  Write("c.dat");
  fs::create_directories(temp() / "folder");
  testing::UndeletableFile hold(temp() / "locked" / "b.dat");
  if (hold.Unavailable()) GTEST_SKIP() << "no way to keep a file from deletion here";

  PathWorkList list;  // removed in list order: the front first
  list.PushFront(TempText("c.dat"));
  list.PushFront(TempText("locked/b.dat"));
  list.PushFront(TempText("folder"));
  list.PushFront(TempText("gone.dat"));
  list.PushFront(TempText("a.dat"));
  std::atomic<bool> cancel{false};
  std::atomic<std::int32_t> removed{99};
  int code = 0;
  std::u16string file;
  EXPECT_FALSE(RemoveFiles(list, cancel, &removed, [&](int c, std::u16string_view f) {
    code = c;
    file = f;
  }));
  EXPECT_FALSE(Exists("a.dat"));
  EXPECT_TRUE(Exists("locked/b.dat"));
  EXPECT_TRUE(Exists("c.dat")) << "nothing after the failure is touched";
  EXPECT_TRUE(Exists("folder")) << "folders are never removed";
  EXPECT_EQ(removed.load(), 3) << "a.dat, and the missing path and the folder count too";
  EXPECT_EQ(code, kErrorCannotDelete);
  EXPECT_EQ(file, TempText("locked/b.dat"));
  EXPECT_EQ(CountInLog("error: deleting file, \"" + Show(TempText("locked/b.dat")) + "\".\r\n"), 1)
      << LogText();
}

TEST_F(FileActionsTest, RemoveFilesHonoursTheCancelFlag) {
  Write("a.dat");
  PathWorkList list;
  list.PushFront(TempText("a.dat"));
  std::atomic<bool> cancel{true};
  std::atomic<std::int32_t> removed{5};
  EXPECT_FALSE(RemoveFiles(list, cancel, &removed, nullptr));
  EXPECT_TRUE(Exists("a.dat"));
  EXPECT_EQ(removed.load(), 0);
  EXPECT_EQ(CountInLog("info: canceled by user[5].\r\n"), 1);

  cancel = false;
  EXPECT_TRUE(RemoveFiles(list, cancel, &removed, nullptr));
  EXPECT_FALSE(Exists("a.dat"));
  EXPECT_EQ(removed.load(), 1);
}

TEST_F(FileActionsTest, DeleteGameDataWaitsForTheRunAndResetsTheVersion) {
  Write("game/data/x.pak");
  Write("launcher/Launcher.exe");
  InstallRecord record;
  record.version = "1.2.3";
  ASSERT_TRUE(WriteInstallRecord(record));

  std::atomic<bool> running{true};
  EXPECT_FALSE(DeleteGameData(running, TempText()));
  EXPECT_TRUE(Exists("game/data/x.pak"));
  InstallRecord read;
  (void)ReadInstallRecord(&read);
  EXPECT_EQ(read.version, "1.2.3");

  running = false;
  EXPECT_TRUE(DeleteGameData(running, TempText()));
  EXPECT_FALSE(Exists("game"));
  EXPECT_TRUE(Exists("launcher/Launcher.exe"));
  (void)ReadInstallRecord(&read);
  EXPECT_EQ(read.version, "0.0.0");
}

}  // namespace
}  // namespace velmora::patcher
