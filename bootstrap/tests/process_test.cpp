// Whole-process tests: the bootstrap program started the way a player starts
// it, from a launcher folder holding the program and a core library.
#include <gtest/gtest.h>

#include <cstdio>

#include "common/registry_path.h"
#include "foundation/os/dynamic_library.h"
#include "foundation/os/file_version.h"
#include "foundation/os/files.h"
#include "foundation/os/process.h"
#include "testing/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

enum class Core { kReal, kFake, kFakeWithoutRun, kMissing };

class BootstrapProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    system_.environment().Set("VELMORA_DIALOG_ANSWER", "ok");
    launcher_folder_ = system_.root() / "install" / "launcher";
    fs::create_directories(launcher_folder_);
  }

  void Install(Core core) {
    const fs::path program = testing::ProgramPath("Launcher");
    fs::copy_file(program, launcher_folder_ / program.filename());
    const fs::path core_name = os::SharedLibraryFileName("Vostrel");
    switch (core) {
      case Core::kReal:
        fs::copy_file(testing::BinaryFolder() / core_name, launcher_folder_ / core_name);
        break;
      case Core::kFake:
        fs::copy_file(testing::SharedLibraryPath("velmora-fake_core"), launcher_folder_ / core_name);
        break;
      case Core::kFakeWithoutRun:
        fs::copy_file(testing::SharedLibraryPath("velmora-fake_core_without_run"),
                      launcher_folder_ / core_name);
        break;
      case Core::kMissing:
        break;
    }
  }

  // Runs the installed program; returns its exit code (or -1000 on time-out).
  int RunLauncher(const std::vector<std::string>& arguments,
                  std::map<std::string, std::optional<std::string>> environment = {},
                  bool inherit_handles = false) {
    os::ChildProcess child;
    os::ChildProcessOptions options;
    options.capture_output = true;
    options.working_directory = system_.root();
    options.environment = std::move(environment);
    options.inherit_handles = inherit_handles;
    const fs::path program = launcher_folder_ / testing::ProgramPath("Launcher").filename();
    if (!child.Start(program, arguments, options)) return -2000;
    const auto code = child.Wait(std::chrono::seconds(120));
    output_ = child.Output();
    if (!code) {
      child.Kill();
      return -1000;
    }
    return *code;
  }

  std::string LogText() {
    return testing::ReadFileBytes(system_.root() / "appdata" / "VelmoraData" / "Launcher" /
                                  "launcher.log");
  }

  testing::IsolatedSystem system_;
  fs::path launcher_folder_;
  std::string output_;
};

TEST_F(BootstrapProcessTest, RealCoreStartsUpAndExitsCleanly) {
  Install(Core::kReal);
  testing::WriteFileBytes(system_.root() / "event.log", "stale");
  EXPECT_EQ(RunLauncher({}), 0) << output_;
  EXPECT_EQ(output_.find("dialog:"), std::string::npos) << output_;
  EXPECT_FALSE(os::PathExists(system_.root() / "event.log"));
  const std::string log = LogText();
  EXPECT_NE(log.find("Launcher started from DLL.\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Patch environment: prod-info\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Creating launcher.\r\n"), std::string::npos) << log;
}

TEST_F(BootstrapProcessTest, EnvironmentOptionIsStoredAndReadBackNextTime) {
  Install(Core::kReal);
  EXPECT_EQ(RunLauncher({"-e", "qa-info"}), 0) << output_;
  std::string stored;
  ASSERT_TRUE(ReadRegistryText("HKEY_CURRENT_USER\\Software\\Corvane\\Velmora\\Manifest\\env",
                               &stored, 256));
  EXPECT_EQ(stored, "qa-info");
  EXPECT_EQ(RunLauncher({}), 0) << output_;
  const std::string log = LogText();
  const auto first = log.find("Patch environment: qa-info\r\n");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find("Patch environment: qa-info\r\n", first + 1), std::string::npos) << log;
}

// Starts the helper holding a named mutex and waits until it holds it.
os::ChildProcess HoldMutex(const std::string& name) {
  os::ChildProcess holder;
  os::ChildProcessOptions options;
  options.capture_output = true;
  EXPECT_TRUE(holder.Start(testing::ProgramPath("velmora-test-helper"),
                           {"hold-mutex", name, "60000"}, options));
  for (int i = 0; i < 800 && holder.Output().find("created") == std::string::npos; ++i)
    holder.Wait(std::chrono::milliseconds(25));
  EXPECT_NE(holder.Output().find("created"), std::string::npos) << holder.Output();
  return holder;
}

TEST_F(BootstrapProcessTest, SecondLauncherOrRunningGameStopsTheStart) {
  Install(Core::kReal);
  const struct {
    const char* mutex;
    const char* message;
  } cases[] = {
      {"Global\\Velmora Launcher", "dialog: Velmora Launcher Error: Launcher already running."},
      {"Global\\Velmora", "dialog: Velmora Launcher Error: Game already running."},
  };
  for (const auto& c : cases) {
    os::ChildProcess holder = HoldMutex(c.mutex);
    EXPECT_EQ(RunLauncher({}), 0) << output_;
    EXPECT_NE(output_.find(c.message), std::string::npos) << output_;
    holder.Kill();
    holder.Wait(std::chrono::seconds(20));
  }
  EXPECT_EQ(LogText().find("Creating launcher."), std::string::npos);
}

TEST_F(BootstrapProcessTest, ResultOfRunMapsToTheExitCode) {
  Install(Core::kFake);
  const struct {
    const char* result;
    int exit_code;
  } cases[] = {{"0", 0}, {"1", 0}, {"7", 0}, {"-5", 1}, {"2", 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(RunLauncher({}, {{"VELMORA_FAKE_RUN_RESULT", c.result}}), c.exit_code) << c.result;
  }
  // The failed hand-over after 2 says so.
  EXPECT_NE(output_.find("dialog: Error: Internal error encountered while trying to update"),
            std::string::npos)
      << output_;
}

TEST_F(BootstrapProcessTest, MissingCoreOrEntryPointIsReported) {
  Install(Core::kMissing);
  EXPECT_EQ(RunLauncher({}), 1);
  EXPECT_NE(output_.find("dialog: Error: Unable to load Vostrel.dll"), std::string::npos) << output_;

  fs::remove_all(launcher_folder_);
  fs::create_directories(launcher_folder_);
  Install(Core::kFakeWithoutRun);
  EXPECT_EQ(RunLauncher({}), 1);
  EXPECT_NE(output_.find("dialog: Error: Unable to find the entry point in Launcher.dll"),
            std::string::npos)
      << output_;
}

TEST_F(BootstrapProcessTest, DeleteOptionRemovesFilesButNotFolders) {
  Install(Core::kFake);
  const fs::path old_file = system_.root() / "Launcher.old";
  testing::WriteFileBytes(old_file, "old");
  EXPECT_EQ(RunLauncher({"-del:" + old_file.string()}), 0) << output_;
  EXPECT_FALSE(os::PathExists(old_file));

  const fs::path folder = system_.root() / "keep";
  fs::create_directories(folder);
  EXPECT_EQ(RunLauncher({"-del:" + folder.string(), "-del:"}), 0) << output_;
  EXPECT_TRUE(os::IsDirectory(folder));
}

TEST_F(BootstrapProcessTest, SelfPatchDeletesFirstAndNeverCallsRun) {
  Install(Core::kFake);
  const fs::path old_file = system_.root() / "Launcher.old";
  const fs::path marker = system_.root() / "run-called";
  testing::WriteFileBytes(old_file, "old");
  // The folder swap itself is not available yet: the step reports failure.
  EXPECT_EQ(RunLauncher({"-selfpatch:" + system_.root().string(), "-del:" + old_file.string()},
                        {{"VELMORA_FAKE_RUN_MARKER", marker.string()}}),
            1);
  EXPECT_FALSE(os::PathExists(old_file));
  EXPECT_FALSE(os::PathExists(marker)) << "Run must not be called";
}

TEST_F(BootstrapProcessTest, HandleOptionWaitsForTheNamedProcess) {
  Install(Core::kFake);
  os::ChildProcess previous;
  ASSERT_TRUE(previous.Start(testing::ProgramPath("velmora-test-helper"), {"sleep", "1500"}));
  char handle[32];
  std::snprintf(handle, sizeof handle, "-handle:%08X", previous.InheritableHandleValue());
  const fs::path marker = system_.root() / "run-called";
  EXPECT_EQ(RunLauncher({handle}, {{"VELMORA_FAKE_RUN_MARKER", marker.string()}},
                        /*inherit_handles=*/true),
            0)
      << output_;
  // Run came only after the previous generation had ended.
  EXPECT_TRUE(os::PathExists(marker));
  EXPECT_FALSE(previous.IsRunning());
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// Finds `text` stored as UTF-16LE, as resource strings are.
bool ContainsUtf16(const std::string& bytes, const std::string& text) {
  std::string wide;
  for (char c : text) {
    wide.push_back(c);
    wide.push_back('\0');
  }
  return bytes.find(wide) != std::string::npos;
}

TEST(LauncherResourcesTest, ProgramCarriesVersionManifestAndGameDefinition) {
  const fs::path program = testing::ProgramPath("Launcher");
  if (program.extension() != ".exe") GTEST_SKIP() << "only the Windows program carries resources";
  // The fixed version holds 16 bits per field: 822392 is stored modulo 65536.
  EXPECT_EQ(os::ReadFileVersionText(program), "1.0.2.35192");
  const std::string bytes = testing::ReadFileBytes(program);
  EXPECT_TRUE(ContainsUtf16(bytes, "1.0.2.822392"));
  EXPECT_TRUE(ContainsUtf16(bytes, "Shipping"));
  EXPECT_NE(bytes.find("requireAdministrator"), std::string::npos);
  EXPECT_TRUE(ContainsUtf16(bytes, "<GameDefinitionFile"));
  EXPECT_TRUE(ContainsUtf16(bytes, "<Task index=\"0\" name=\"View README\">"));
  EXPECT_TRUE(ContainsUtf16(bytes, "Unable to load Vostrel.dll"));
}

}  // namespace
}  // namespace velmora
