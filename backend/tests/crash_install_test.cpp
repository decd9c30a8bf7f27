// The first version query of a process fixes the crash upload address; this
// runs as its own program so that it really is the first.
#include <gtest/gtest.h>

#include "backend/service_queries.h"
#include "backend/tests/backend_test_server.h"
#include "diagnostics/crash_reporting.h"
#include "testing/test_support.h"

namespace velmora {
namespace {

std::string ReplyWithCrashUrl(const std::string& crash_url) {
  return testing::MakeHttpResponse(
      200, "<getcurrentversion><newversion>1</newversion><manifesturl>m</manifesturl>"
           "<environment>e</environment><crashurl>" + crash_url + "</crashurl></getcurrentversion>");
}

TEST(CrashInstallTest, FirstVersionQueryFixesTheCrashUploadAddress) {
  testing::IsolatedSystem system;
  ASSERT_FALSE(IsCrashReportingInstalled());
  testing::BackendServer().Respond("/xal/kelder-1-pc/krops/getCurrentVersion",
                                   ReplyWithCrashUrl("http://crash.test/first"));
  VersionInfo info;
  ASSERT_TRUE(GetVersionInformation(TesselClient("prod-info"), &info));
  EXPECT_TRUE(IsCrashReportingInstalled());
  EXPECT_EQ(CrashReportingUploadUrl(), "http://crash.test/first");

  testing::BackendServer().Respond("/xal/kelder-1-pc/krops/getCurrentVersion",
                                   ReplyWithCrashUrl("http://crash.test/second"));
  ASSERT_TRUE(GetVersionInformation(TesselClient("prod-info"), &info));
  EXPECT_EQ(info.crashurl, "http://crash.test/second");
  EXPECT_EQ(CrashReportingUploadUrl(), "http://crash.test/first");
}

}  // namespace
}  // namespace velmora
