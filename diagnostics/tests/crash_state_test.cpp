#include "diagnostics/crash_state.h"

#include <gtest/gtest.h>

#include "diagnostics/crash_reporting.h"

namespace velmora {
namespace {

TEST(CrashStateTest, NamesFollowTheTableAndUnknownCoversTheGaps) {
  const struct {
    std::int32_t value;
    const char* name;
  } cases[] = {
      {0, "LAUNCHER_STARTUP"}, {3, "FILE_INTEGRITY"}, {5, "UNKNOWN"},
      {9, "READING_REGISTRY"}, {11, "CHECK_DRIVE_SPACE"}, {12, "FINISHED"},
      {13, "UNKNOWN"},         {-1, "UNKNOWN"},
  };
  for (const auto& c : cases) EXPECT_STREQ(CrashStateName(c.value), c.name) << c.value;
}

TEST(CrashStateTest, StartsAtLauncherStartupAndKeepsTheLastPhase) {
  EXPECT_EQ(GetCrashState(), LAUNCHER_STARTUP);
  SetCrashState(CHECK_DRIVE_SPACE);
  EXPECT_STREQ(CrashStateName(GetCrashState()), "CHECK_DRIVE_SPACE");
}

TEST(CrashReportingTest, OnlyTheFirstInstallTakesEffect) {
  InstallCrashReporting(nullptr);
  InstallCrashReporting("http://example.invalid/other");
  EXPECT_TRUE(IsCrashReportingInstalled());
  EXPECT_EQ(CrashReportingUploadUrl(), "http://127.0.0.1:8181/crash/reportCrash/");
}

}  // namespace
}  // namespace velmora
