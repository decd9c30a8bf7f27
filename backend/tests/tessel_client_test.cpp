#include "backend/tessel_client.h"

#include <gtest/gtest.h>

#include <string>

#include "backend/tests/backend_test_server.h"
#include "download/tests/log_capture.h"
#include "testing/test_support.h"

namespace velmora {
namespace {

std::string ProductionHost() {
  return "127.0.0.1:" + std::to_string(testing::BackendServer().port());
}

TEST(TesselClientTest, NewClientsHaveNoExtraPath) {
  const TesselClient client("stage-info");
  EXPECT_EQ(client.environment, "stage-info");
  EXPECT_TRUE(client.extraPath.empty());
}

TEST(TesselClientTest, EndpointsAreBuiltFromTheHostsWithFixedPortsAndPaths) {
  const std::string test_host = testing::kUnfetchedTestHost;
  EXPECT_EQ(ServiceBaseUrl(ServiceEndpoint::kProduction),
            "http://" + ProductionHost() + "/xal/kelder-1-pc");
  EXPECT_EQ(ServiceBaseUrl(ServiceEndpoint::kShadow),
            "http://" + ProductionHost() + "/xal/kelder-shadow-pc");
  EXPECT_EQ(ServiceBaseUrl(ServiceEndpoint::kCert),
            "http://" + ProductionHost() + "/xal/kelder-1-pc-cert");
  EXPECT_EQ(ServiceBaseUrl(ServiceEndpoint::kTest), "http://" + test_host + ":8080/xal/kelder-1-pc");
  EXPECT_EQ(ServiceBaseUrl(ServiceEndpoint::kStage),
            "http://" + test_host + ":8080/xal/kelder-1-pc-stage");
}

TEST(TesselClientTest, ResolvesNamesIgnoringCaseAndLogsTheRowsLine) {
  struct Case {
    const char* environment;
    ServiceEndpoint endpoint;
    std::string line;
  };
  const Case cases[] = {
      {"prod-info", ServiceEndpoint::kProduction, "Setting tessel to use production configs."},
      {"PROD-INFO", ServiceEndpoint::kProduction, "Setting tessel to use production configs."},
      {"info", ServiceEndpoint::kTest, "Setting tessel to use test configs."},
      {"lkg-info", ServiceEndpoint::kTest, "Setting tessel to use test configs."},
      {"junkdrawer-info", ServiceEndpoint::kTest, "Setting tessel to use junkdrawer configs."},
      {"qa-info", ServiceEndpoint::kStage, "Setting tessel to use stage configs."},
      {"cert-info", ServiceEndpoint::kCert, "Setting tessel to use cert configs."},
      {"Shadow-Info", ServiceEndpoint::kShadow, "Setting tessel to use shadow configs."},
      {"ml-lkg-release", ServiceEndpoint::kTest, "TEST XAL."},
      {"QA-Dev-Release", ServiceEndpoint::kTest, "STAGE XAL."},
      {"QA-QA-Release", ServiceEndpoint::kStage, "STAGE XAL."},
      {"RL-Dev-DebugReleaseAsserts", ServiceEndpoint::kStage, "STAGE XAL."},
      {"RL-Shadow-Release", ServiceEndpoint::kShadow, "SHADOW XAL."},
      {"RL-Prod-DebugRelease", ServiceEndpoint::kProduction, "PROD XAL."},
      // Unlisted names, prefixes and near misses fall back to production.
      {"prod", ServiceEndpoint::kProduction,
       "Could no find env for (prod), setting tessel to use prod config."},
      {"prod-info ", ServiceEndpoint::kProduction,
       "Could no find env for (prod-info ), setting tessel to use prod config."},
      {"", ServiceEndpoint::kProduction,
       "Could no find env for (), setting tessel to use prod config."},
      {"%s%n", ServiceEndpoint::kProduction,
       "Could no find env for (%s%n), setting tessel to use prod config."},
  };
  testing::IsolatedSystem system;
  testing::LogCapture log;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.environment);
    const std::size_t before = log.Lines().size();
    EXPECT_EQ(ResolveServiceEndpoint(TesselClient(c.environment)), ServiceBaseUrl(c.endpoint));
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), before + 1);
    EXPECT_EQ(lines.back(), c.line);
  }
}

TEST(TesselClientTest, TheTableHasThirtyFiveUniqueRows) {
  std::size_t count = 0;
  const EnvironmentEntry* table = EnvironmentTable(&count);
  ASSERT_EQ(count, 35u);
  for (std::size_t i = 0; i < count; ++i)
    for (std::size_t j = i + 1; j < count; ++j)
      EXPECT_NE(std::string(table[i].name), table[j].name) << "row " << i + 1 << " repeats";
}

TEST(TesselClientTest, EveryResolutionLogsAgain) {
  testing::IsolatedSystem system;
  testing::LogCapture log;
  const TesselClient client("stage-info");
  (void)ResolveServiceEndpoint(client);
  (void)ResolveServiceEndpoint(client);
  EXPECT_EQ(log.Count("Setting tessel to use stage configs."), 2);
}

}  // namespace
}  // namespace velmora
