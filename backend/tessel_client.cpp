#include "backend/tessel_client.h"

#include <array>

#include "core/launcher_log.h"
#include "foundation/os/environment.h"
#include "foundation/text/utf.h"

namespace velmora {
namespace {

constexpr const char* kTestLine = "Setting tessel to use test configs.";
constexpr const char* kStageLine = "Setting tessel to use stage configs.";
constexpr const char* kTestXal = "TEST XAL.";
constexpr const char* kStageXal = "STAGE XAL.";

// Some pairings look uneven and are meant so: "info" and "lkg-info" share
// the test line, "qa-info" selects the stage endpoint, and the QA-Dev rows
// select the test endpoint while logging "STAGE XAL.".
constexpr std::array<EnvironmentEntry, 35> kEnvironments = {{
    {"info", ServiceEndpoint::kTest, kTestLine},
    {"lkg-info", ServiceEndpoint::kTest, kTestLine},
    {"junkdrawer-info", ServiceEndpoint::kTest, "Setting tessel to use junkdrawer configs."},
    {"qa-info", ServiceEndpoint::kStage, kStageLine},
    {"stage-info", ServiceEndpoint::kStage, kStageLine},
    {"cert-info", ServiceEndpoint::kCert, "Setting tessel to use cert configs."},
    {"shadow-info", ServiceEndpoint::kShadow, "Setting tessel to use shadow configs."},
    {"prod-info", ServiceEndpoint::kProduction, "Setting tessel to use production configs."},
    {"ML-Dev-DebugRelease", ServiceEndpoint::kTest, kTestXal},
    {"ML-Dev-DebugReleaseAsserts", ServiceEndpoint::kTest, kTestXal},
    {"ML-Dev-Release", ServiceEndpoint::kTest, kTestXal},
    {"ML-Latest-DebugRelease", ServiceEndpoint::kTest, kTestXal},
    {"ML-Latest-DebugReleaseAsserts", ServiceEndpoint::kTest, kTestXal},
    {"ML-Latest-Release", ServiceEndpoint::kTest, kTestXal},
    {"ML-LKG-DebugRelease", ServiceEndpoint::kTest, kTestXal},
    {"ML-LKG-DebugReleaseAsserts", ServiceEndpoint::kTest, kTestXal},
    {"ML-LKG-Release", ServiceEndpoint::kTest, kTestXal},
    {"QA-Dev-DebugRelease", ServiceEndpoint::kTest, kStageXal},
    {"QA-Dev-DebugReleaseAsserts", ServiceEndpoint::kTest, kStageXal},
    {"QA-Dev-Release", ServiceEndpoint::kTest, kStageXal},
    {"QA-QA-DebugRelease", ServiceEndpoint::kStage, kStageXal},
    {"QA-QA-DebugReleaseAsserts", ServiceEndpoint::kStage, kStageXal},
    {"QA-QA-Release", ServiceEndpoint::kStage, kStageXal},
    {"QA-Stage-DebugRelease", ServiceEndpoint::kStage, kStageXal},
    {"QA-Stage-DebugReleaseAsserts", ServiceEndpoint::kStage, kStageXal},
    {"QA-Stage-Release", ServiceEndpoint::kStage, kStageXal},
    {"RL-Dev-DebugRelease", ServiceEndpoint::kStage, kStageXal},
    {"RL-Dev-DebugReleaseAsserts", ServiceEndpoint::kStage, kStageXal},
    {"RL-Dev-Release", ServiceEndpoint::kStage, kStageXal},
    {"RL-Shadow-DebugRelease", ServiceEndpoint::kShadow, "SHADOW XAL."},
    {"RL-Shadow-DebugReleaseAsserts", ServiceEndpoint::kShadow, "SHADOW XAL."},
    {"RL-Shadow-Release", ServiceEndpoint::kShadow, "SHADOW XAL."},
    {"RL-Prod-DebugRelease", ServiceEndpoint::kProduction, "PROD XAL."},
    {"RL-Prod-DebugReleaseAsserts", ServiceEndpoint::kProduction, "PROD XAL."},
    {"RL-Prod-Release", ServiceEndpoint::kProduction, "PROD XAL."},
}};

std::string HostValue(const char* variable, const char* built_in) {
#if VELMORA_SERVICE_HOST_OVERRIDE
  if (auto value = os::GetEnvironmentValue(variable); value && !value->empty()) return *value;
#else
  (void)variable;
#endif
  return built_in;
}

struct BaseUrls {
  std::array<std::string, 5> urls;
  BaseUrls() {
    const std::string production = HostValue("VELMORA_PRODUCTION_HOST", VELMORA_PRODUCTION_HOST);
    const std::string test = HostValue("VELMORA_TEST_HOST", VELMORA_TEST_HOST);
    urls[static_cast<int>(ServiceEndpoint::kProduction)] = "http://" + production + "/xal/kelder-1-pc";
    urls[static_cast<int>(ServiceEndpoint::kShadow)] = "http://" + production + "/xal/kelder-shadow-pc";
    urls[static_cast<int>(ServiceEndpoint::kCert)] = "http://" + production + "/xal/kelder-1-pc-cert";
    urls[static_cast<int>(ServiceEndpoint::kTest)] = "http://" + test + ":8080/xal/kelder-1-pc";
    urls[static_cast<int>(ServiceEndpoint::kStage)] = "http://" + test + ":8080/xal/kelder-1-pc-stage";
  }
};

}  // namespace

const EnvironmentEntry* EnvironmentTable(std::size_t* count) {
  if (count) *count = kEnvironments.size();
  return kEnvironments.data();
}

const std::string& ServiceBaseUrl(ServiceEndpoint endpoint) {
  // Built once, on first use, and never changed: both the patch run and the
  // status monitor resolve endpoints concurrently.
  static const BaseUrls base_urls;
  return base_urls.urls[static_cast<int>(endpoint)];
}

std::string ResolveServiceEndpoint(const TesselClient& client) {
  for (const EnvironmentEntry& entry : kEnvironments) {
    if (EqualsIgnoreAsciiCase(client.environment, entry.name)) {
      LauncherLog::Printf("%s\r\n", entry.log_line);
      return ServiceBaseUrl(entry.endpoint);
    }
  }
  LauncherLog::Printf("Could no find env for (%s), setting tessel to use prod config.\r\n",
                      client.environment.c_str());
  return ServiceBaseUrl(ServiceEndpoint::kProduction);
}

}  // namespace velmora
