#include "core/run.h"

#include <gtest/gtest.h>

#include "common/registry_path.h"
#include "core/launcher_globals.h"
#include "core/launcher_log.h"
#include "foundation/os/dialog.h"
#include "foundation/os/named_mutex.h"
#include "testing/test_support.h"

namespace velmora {
namespace {

TEST(CoreOptionsTest, OptionsIgnoreCaseAndEnvironmentConsumesTheNextElement) {
  const struct {
    std::vector<std::u16string> args;
    bool no_self_update;
    bool has_env;
    std::string env;
  } cases[] = {
      {{u"Launcher", u"-e", u"qa-info"}, false, true, "qa-info"},
      {{u"Launcher", u"-E", u"QA", u"-D"}, true, true, "QA"},
      {{u"Launcher", u"-d", u"-e"}, true, false, ""},          // "-e" last: ignored
      {{u"Launcher", u"-e", u"-d"}, false, true, "-d"},        // consumed, not an option
      {{u"Launcher", u"-e", u"a", u"-e", u"b"}, false, true, "b"},
      {{u"Launcher", u"-dd", u"e"}, false, false, ""},
  };
  for (const auto& c : cases) {
    const CoreOptions options = ParseCoreOptions(c.args);
    EXPECT_EQ(options.no_self_update, c.no_self_update);
    EXPECT_EQ(options.has_environment, c.has_env);
    EXPECT_EQ(options.environment, c.env);
  }
}

TEST(CoreOptionsTest, LongEnvironmentNamesAreCutToWholeCharacters) {
  std::u16string name(254, u'x');
  name += u"\u00e9\u00e9";  // two bytes each: 254 + 2 fits 255 only once
  const CoreOptions options = ParseCoreOptions({u"L", u"-e", name});
  EXPECT_EQ(options.environment, std::string(254, 'x'));
}

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LauncherLog::ResetForTesting();
    os::SetDialogHandlerForTesting([this](const std::u16string& caption, const std::u16string& text,
                                          os::DialogButtons) {
      dialogs_.push_back(caption + u": " + text);
      return os::DialogAnswer::kOk;
    });
  }
  void TearDown() override {
    os::SetDialogHandlerForTesting(nullptr);
    LauncherLog::ResetForTesting();
  }
  std::string LogText() { return testing::ReadFileBytes(LauncherLog::FilePath()); }

  testing::IsolatedSystem system_;
  std::vector<std::u16string> dialogs_;
};

TEST_F(RunTest, CleanStartRunsToTheLauncherAndReleasesTheMutex) {
  EXPECT_EQ(RunLauncher(), 0);
  EXPECT_TRUE(dialogs_.empty());
  const std::string log = LogText();
  const char* in_order[] = {
      "] \r\n\r\n\r\n\r\n\r\n",
      "] ==============================================================\r\n",
      "]                   Main Patcher Start\r\n",
      "] Launcher started from DLL.\r\n",
      "] Starting up telemetry.\r\n",
      "] Creating launcher.\r\n",
  };
  std::size_t at = 0;
  for (const char* line : in_order) {
    const auto found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n" << log;
    at = found;
  }
  EXPECT_EQ(PatchEnvironmentName(), "prod-info");
  os::NamedMutex again;
  EXPECT_EQ(again.Create(kLauncherMutexName, true), os::NamedMutexOutcome::kCreated);
}

TEST_F(RunTest, SecondLauncherStopsAtTheMutex) {
  os::NamedMutex first;
  ASSERT_EQ(first.Create(kLauncherMutexName, true), os::NamedMutexOutcome::kCreated);
  EXPECT_EQ(RunLauncher(), 0);
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0], u"Velmora Launcher Error: Launcher already running.");
  const std::string log = LogText();
  EXPECT_NE(log.find("Unable to acquire mutex, internal error/access denied.\r\n"), std::string::npos);
  EXPECT_EQ(log.find("Creating launcher."), std::string::npos);
}

TEST_F(RunTest, RunningGameStopsTheLauncherAndFreesItsMutex) {
  os::NamedMutex game;
  ASSERT_EQ(game.Create(kGameMutexName, true), os::NamedMutexOutcome::kCreated);
  EXPECT_EQ(RunLauncher(), 0);
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0], u"Velmora Launcher Error: Game already running.");
  EXPECT_NE(LogText().find("Error acquiring mutex, most likely already running a game.\r\n"),
            std::string::npos);
  os::NamedMutex launcher;
  EXPECT_EQ(launcher.Create(kLauncherMutexName, true), os::NamedMutexOutcome::kCreated);
}

TEST_F(RunTest, EnvironmentComesFromTheRegistry) {
  ASSERT_TRUE(WriteRegistryText("HKEY_CURRENT_USER\\Software\\Corvane\\Velmora\\Manifest\\env",
                                "test-info"));
  EXPECT_EQ(RunLauncher(), 0);
  EXPECT_EQ(PatchEnvironmentName(), "test-info");
  EXPECT_EQ(LauncherVersion(), "1.0.2.822392");
}

}  // namespace
}  // namespace velmora
