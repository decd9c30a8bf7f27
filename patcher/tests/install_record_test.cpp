#include "patcher/install_record.h"

#include <gtest/gtest.h>

#include "common/registry_path.h"
#include "diagnostics/crash_state.h"
#include "patcher/tests/patcher_test_support.h"

namespace velmora::patcher {
namespace {

constexpr const char* kUserKey = "HKEY_CURRENT_USER\\Software\\Corvane\\Velmora\\";
constexpr const char* kMachineKey = "HKEY_LOCAL_MACHINE\\Software\\Corvane\\Velmora\\";

std::string ReadText(const std::string& path) {
  std::string text;
  return ReadRegistryText(path, &text, 1024) ? text : std::string("<missing>");
}

InstallRecord SampleRecord() {
  InstallRecord record;
  record.name = "prod-info";
  record.type = "prod-info";
  record.version = "1.0.2.822392";
  record.gameversion = "4.1.7";
  record.created = "2024:05:06:07:08";
  record.build = "822392";
  record.count = 3;
  return record;
}

class InstallRecordTest : public testing::PatcherTest {};

TEST_F(InstallRecordTest, WritesAndReadsTheWholeRecord) {
  ASSERT_TRUE(WriteInstallRecord(SampleRecord()));
  EXPECT_EQ(GetCrashState(), WRITING_REGISTRY);
  EXPECT_EQ(ReadText(std::string(kUserKey) + "Manifest\\version"), "1.0.2.822392");
  EXPECT_EQ(ReadText(std::string(kUserKey) + "Manifest\\gameversion"), "4.1.7");

  InstallRecord read;
  ASSERT_TRUE(ReadInstallRecord(&read, true));
  EXPECT_EQ(GetCrashState(), READING_REGISTRY);
  EXPECT_EQ(read.name, "prod-info");
  EXPECT_EQ(read.type, "prod-info");
  EXPECT_EQ(read.version, "1.0.2.822392");
  EXPECT_EQ(read.gameversion, "4.1.7");
  EXPECT_EQ(read.created, "2024:05:06:07:08");
  EXPECT_EQ(read.build, "822392");
  EXPECT_EQ(read.count, 3u);

  ASSERT_TRUE(ResetInstalledVersion());
  ASSERT_TRUE(ReadInstallRecord(&read));
  EXPECT_EQ(read.version, "0.0.0");
}

TEST_F(InstallRecordTest, ReadingFailsWhenARequestedValueIsMissing) {
  InstallRecord read;
  EXPECT_FALSE(ReadInstallRecord(&read));
  EXPECT_EQ(GetCrashState(), READING_REGISTRY) << "the start-up read only sets the crash state";

  InstallRecord record = SampleRecord();
  ASSERT_TRUE(WriteInstallRecord(record));
  ASSERT_TRUE(WriteRegistryText(std::string(kUserKey) + "Manifest\\gameversion", "4.1.7-long"));
  EXPECT_TRUE(ReadInstallRecord(&read, false));
  EXPECT_FALSE(ReadInstallRecord(&read, true, 8)) << "the game version does not fit its buffer";
  EXPECT_TRUE(ReadInstallRecord(&read, true, 11));
  ASSERT_TRUE(WriteRegistryText(std::string(kUserKey) + "Manifest\\build", std::string(32, 'b')));
  EXPECT_FALSE(ReadInstallRecord(&read)) << "a text longer than its 32-byte field";
}

TEST_F(InstallRecordTest, RunCountStartsAtOneAndGrowsByOnePerStart) {
  EXPECT_EQ(IncrementRunCount(), 1);
  EXPECT_EQ(CountInLog("Unable to fetch run count\r\n"), 1);
  EXPECT_EQ(IncrementRunCount(), 2);
  EXPECT_EQ(IncrementRunCount(), 3);
  EXPECT_EQ(CountInLog("Unable to fetch run count\r\n"), 1);
  std::uint32_t stored = 0;
  ASSERT_TRUE(ReadRegistryNumber(std::string(kUserKey) + "Manifest\\runcount", &stored));
  EXPECT_EQ(stored, 3u);
}

TEST_F(InstallRecordTest, LastPatchKeepsTheLow32BitsAndReadsZeroWhenMissing) {
  EXPECT_EQ(ReadLastPatch(), 0u);
  ASSERT_TRUE(WriteLastPatch(1700000000));
  EXPECT_EQ(ReadLastPatch(), 1700000000u);
  ASSERT_TRUE(WriteLastPatch(0x100000007ll));
  EXPECT_EQ(ReadLastPatch(), 7u);
  ASSERT_TRUE(WriteRegistryText(std::string(kUserKey) + "LastPatch", "not a number"));
  EXPECT_EQ(ReadLastPatch(), 0u);
}

TEST_F(InstallRecordTest, ValuesFollowTheHiveThatHoldsInstallDir) {
  const struct {
    const char* label;
    bool user_install_dir;
    bool machine_install_dir;
    const char* expected_key;
  } cases[] = {
      {"neither", false, false, kUserKey},
      {"machine only", false, true, kMachineKey},
      {"both", true, true, kUserKey},
  };
  for (const auto& c : cases) {
    velmora::testing::IsolatedSystem system;  // a fresh registry per case
    if (c.user_install_dir) {
      ASSERT_TRUE(WriteRegistryText(std::string(kUserKey) + "InstallDir", "C:\\Games\\Velmora"));
    }
    if (c.machine_install_dir) {
      ASSERT_TRUE(WriteRegistryText(std::string(kMachineKey) + "InstallDir", "C:\\Games\\Velmora"));
    }
    ASSERT_TRUE(WriteInstallRecord(SampleRecord())) << c.label;
    EXPECT_EQ(IncrementRunCount(), 1) << c.label;
    ASSERT_TRUE(WriteLastPatch(42)) << c.label;
    const std::string other = c.expected_key == kUserKey ? kMachineKey : kUserKey;
    EXPECT_EQ(ReadText(std::string(c.expected_key) + "Manifest\\build"), "822392") << c.label;
    EXPECT_EQ(ReadText(other + "Manifest\\build"), "<missing>") << c.label;
    std::uint32_t number = 0;
    EXPECT_TRUE(ReadRegistryNumber(std::string(c.expected_key) + "Manifest\\runcount", &number))
        << c.label;
    EXPECT_TRUE(ReadRegistryNumber(std::string(c.expected_key) + "LastPatch", &number)) << c.label;
    EXPECT_EQ(ReadLastPatch(), 42u) << c.label;
  }
}

}  // namespace
}  // namespace velmora::patcher
