// The smaller OS-layer facilities: dialogs, folders, command line, processes.
#include <gtest/gtest.h>

#include "foundation/os/dialog.h"
#include "foundation/os/dynamic_library.h"
#include "foundation/os/environment.h"
#include "foundation/os/files.h"
#include "foundation/os/process.h"
#include "testing/test_support.h"

namespace velmora::os {
namespace {

TEST(DialogTest, EnvironmentAnswersTheBoxWithoutShowingIt) {
  testing::ScopedEnvironment env;
  const struct {
    const char* setting;
    DialogButtons buttons;
    DialogAnswer expected;
  } cases[] = {
      {"ok", DialogButtons::kOk, DialogAnswer::kOk},
      {"retry", DialogButtons::kRetryCancel, DialogAnswer::kRetry},
      {"cancel", DialogButtons::kRetryCancel, DialogAnswer::kCancel},
  };
  for (const auto& c : cases) {
    env.Set("VELMORA_DIALOG_ANSWER", c.setting);
    ::testing::internal::CaptureStderr();
    const DialogAnswer answer =
        ShowMessageBox(nullptr, u"Caption", u"Some text", c.buttons, DialogIcon::kError);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, c.expected) << c.setting;
    EXPECT_NE(err.find("dialog: Caption: Some text"), std::string::npos) << err;
  }
}

TEST(DialogTest, TestHandlerReceivesTheBox) {
  std::u16string seen;
  SetDialogHandlerForTesting([&](const std::u16string& caption, const std::u16string& text,
                                 DialogButtons) {
    seen = caption + u"|" + text;
    return DialogAnswer::kRetry;
  });
  EXPECT_EQ(ShowMessageBox(nullptr, u"A", u"B", DialogButtons::kRetryCancel, DialogIcon::kWarning),
            DialogAnswer::kRetry);
  SetDialogHandlerForTesting(nullptr);
  EXPECT_EQ(seen, u"A|B");
}

TEST(FilesTest, DeleteRefusesFoldersAndRemovesFiles) {
  testing::ScopedTempDir dir;
  const auto file = dir.path() / "a.txt";
  testing::WriteFileBytes(file, "abc");
  EXPECT_EQ(GetFileSize(file), 3u);
  EXPECT_FALSE(DeleteFileAt(dir.path()));
  EXPECT_TRUE(IsDirectory(dir.path()));
  EXPECT_TRUE(DeleteFileAt(file));
  EXPECT_FALSE(PathExists(file));
  EXPECT_FALSE(GetFileSize(file).has_value());
  EXPECT_TRUE(CreateFolder(dir.path() / "sub"));
  EXPECT_TRUE(CreateFolder(dir.path() / "sub"));  // already there counts
}

TEST(ProcessTest, ChildExitCodesAndTimeoutsAreReported) {
  ChildProcess quick;
  ASSERT_TRUE(quick.Start(testing::ProgramPath("velmora-test-helper"), {"exit", "7"}));
  EXPECT_EQ(quick.Wait(std::chrono::seconds(30)), 7);

  ChildProcess slow;
  ASSERT_TRUE(slow.Start(testing::ProgramPath("velmora-test-helper"), {"sleep", "60000"}));
  EXPECT_FALSE(slow.Wait(std::chrono::milliseconds(200)).has_value());
  EXPECT_TRUE(slow.IsRunning());
  slow.Kill();
  EXPECT_TRUE(slow.Wait(std::chrono::seconds(20)).has_value());

  ChildProcess missing;
  EXPECT_FALSE(missing.Start(testing::BinaryFolder() / "no-such-program", {}));
}

TEST(ProcessTest, CommandLineOfThisProcessStartsWithTheProgram) {
  std::vector<std::u16string> arguments;
  ASSERT_TRUE(GetCommandLineArguments(&arguments));
  ASSERT_FALSE(arguments.empty());
  EXPECT_NE(arguments[0].find(u"os_tests"), std::u16string::npos);
}

TEST(DynamicLibraryTest, MissingLibrariesAndSymbolsFailCleanly) {
  EXPECT_EQ(LoadDynamicLibrary(testing::BinaryFolder() / "no-such-library.bin"), nullptr);
  EXPECT_FALSE(GetLastLibraryError().empty());
  LibraryHandle library = LoadDynamicLibrary(testing::SharedLibraryPath("velmora-fake_core"));
  ASSERT_NE(library, nullptr) << GetLastLibraryError();
  EXPECT_NE(GetLibrarySymbol(library, "Run"), nullptr);
  EXPECT_EQ(GetLibrarySymbol(library, "NoSuchExport"), nullptr);
  FreeDynamicLibrary(library);
}

}  // namespace
}  // namespace velmora::os
