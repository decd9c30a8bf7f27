#include "core/launcher_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "testing/test_support.h"

namespace velmora {
namespace {

class LauncherLogTest : public ::testing::Test {
 protected:
  void SetUp() override { LauncherLog::ResetForTesting(); }
  void TearDown() override { LauncherLog::ResetForTesting(); }
  std::string LogText() { return testing::ReadFileBytes(LauncherLog::FilePath()); }

  testing::IsolatedSystem system_;
};

TEST_F(LauncherLogTest, EntriesCarryAnAsctimeStampAndKeepTheirLineEnds) {
  LauncherLog::Write("first line\r\n");
  LauncherLog::Write("no line end");
  LauncherLog::Write("second\r\n");
  LauncherLog::Write(static_cast<const char*>(nullptr));
  const std::string text = LogText();
  const std::regex entry(
      R"(\[(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) )"
      R"(\d\d \d\d:\d\d:\d\d \d{4} UTC\] )");
  const std::string expected_shape = "first line\r\n" "no line end" "second\r\n";
  EXPECT_EQ(std::regex_replace(text, entry, ""), expected_shape) << text;
  // The message without CR LF runs on into the next entry on the same line.
  EXPECT_NE(text.find("no line end["), std::string::npos);
  EXPECT_EQ(LauncherLog::FilePath().filename(), "launcher.log");
  EXPECT_EQ(LauncherLog::FilePath().parent_path().filename(), "Launcher");
  EXPECT_EQ(LauncherLog::FilePath().parent_path().parent_path().filename(), "VelmoraData");
}

TEST_F(LauncherLogTest, WithoutAnAppDataFolderTheLogGoesToTheCurrentFolder) {
  system_.environment().Set("VELMORA_APPDATA_DIR", "none");
  system_.environment().Set("XDG_DATA_HOME", std::nullopt);
  system_.environment().Set("HOME", std::nullopt);
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(system_.root());
  LauncherLog::Write("entry\r\n");
  std::filesystem::current_path(previous);
  const std::string text = testing::ReadFileBytes(system_.root() / "launcher.log");
  const auto notice = text.find("] Unable to find appdata path, logging to local directory.\r\n");
  ASSERT_NE(notice, std::string::npos) << text;
  EXPECT_NE(text.find("] entry\r\n", notice), std::string::npos) << text;
}

TEST_F(LauncherLogTest, OversizedLogStartsAfreshOnlyAboveTheLimit) {
  const auto path = system_.root() / "appdata" / "VelmoraData" / "Launcher" / "launcher.log";
  for (const std::size_t size : {std::size_t{1232897}, std::size_t{1232896}}) {
    testing::WriteFileBytes(path, std::string(size, 'x'));
    LauncherLog::ResetForTesting();
    LauncherLog::Write("after\r\n");
    const std::string text = LogText();
    if (size > 1232896) {
      EXPECT_EQ(text.size(), text.find("after\r\n") + 7) << "old log must be gone";
      EXPECT_EQ(text[0], '[');
    } else {
      EXPECT_EQ(text.substr(0, size), std::string(size, 'x')) << "log at the limit is kept";
      EXPECT_EQ(text[size], '[');
    }
  }
}

TEST_F(LauncherLogTest, WideTextsEncodeEachUnitOnItsOwn) {
  // U+1F600 as a surrogate pair becomes two three-byte sequences.
  EXPECT_EQ(LauncherLog::ConvertUnitsToUtf8(u"a\u00e9\u20ac\U0001F600", 2048),
            "a\xC3\xA9\xE2\x82\xAC\xED\xA0\xBD\xED\xB8\x80");
  // The output and its terminator fit in the limit; the first character that
  // does not fit ends it.
  EXPECT_EQ(LauncherLog::ConvertUnitsToUtf8(u"ab\u20ac", 5), "ab");
  EXPECT_EQ(LauncherLog::ConvertUnitsToUtf8(u"ab\u20ac", 6), "ab\xE2\x82\xAC");
  const std::u16string long_text(1022, u'\u00e9');  // 2044 bytes
  EXPECT_EQ(LauncherLog::ConvertUnitsToUtf8((long_text + u"\u20ac\u20ac").c_str(), 2048).size(),
            2047u);

  LauncherLog::WriteWide(u"wide \u0416\r\n");
  LauncherLog::PrintfWide(u"%s=%I64u %hs\r\n", u"size", static_cast<std::uint64_t>(1) << 33, "ok");
  LauncherLog::Printf("%ls|%I64d|%08X\r\n", u"w\u00e9", static_cast<std::int64_t>(-12), 0xBEEFu);
  const std::string text = LogText();
  EXPECT_NE(text.find("] wide \xD0\x96\r\n"), std::string::npos);
  EXPECT_NE(text.find("] size=8589934592 ok\r\n"), std::string::npos);
  EXPECT_NE(text.find("] w\xC3\xA9|-12|0000BEEF\r\n"), std::string::npos);
}

TEST_F(LauncherLogTest, FormattedEntriesAreCutAtTheirLimit) {
  LauncherLog::Printf("%s", std::string(5000, 'q').c_str());
  const std::string text = LogText();
  const auto start = text.find("] ") + 2;
  EXPECT_EQ(text.size() - start, 2047u);
}

TEST_F(LauncherLogTest, ConcurrentWritersProduceWholeEntries) {
  constexpr int kPerThread = 200;
  auto writer = [](char letter) {
    const std::string line = std::string(300, letter) + "\r\n";
    for (int i = 0; i < kPerThread; ++i) LauncherLog::Write(line);
  };
  LauncherLog::Write("start\r\n");  // set-up happens before threads exist
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  const std::string text = LogText();
  const std::regex whole(R"(\[[^\]]{24} UTC\] (a{300}|b{300}|start)\r\n)");
  std::size_t entries = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), whole); it != std::sregex_iterator();
       ++it)
    ++entries;
  EXPECT_EQ(entries, 2u * kPerThread + 1);
}

}  // namespace
}  // namespace velmora
