#include "backend/service_queries.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backend/tests/backend_test_server.h"
#include "download/tests/log_capture.h"
#include "testing/test_support.h"

namespace velmora {
namespace {

using testing::BackendServer;
using testing::MakeHttpResponse;

constexpr const char* kVersionPath = "/xal/kelder-1-pc/krops/getCurrentVersion";
constexpr const char* kStatusPath = "/xal/kelder-1-pc/krops/getSystemStatus";

const std::string kFullReply =
    "<?xml version=\"1.0\"?>\n"
    "<getcurrentversion>\n"
    "  <newversion>1.0.3.900000</newversion>\n"
    "  <newgameversion>2.4.1</newgameversion>\n"
    "  <manifesturl>http://content.test/launcher</manifesturl>\n"
    "  <gamemanifesturl>http://content.test/game</gamemanifesturl>\n"
    "  <crashurl>http://crash.test/report</crashurl>\n"
    "  <telemurl>http://telemetry.test/</telemurl>\n"
    "  <environment>prod</environment>\n"
    "  <launcheraction>2</launcheraction>\n"
    "  <created>2024-05-01</created>\n"
    "  <built>build-77</built>\n"
    "  <externalurl>http://news.test/</externalurl>\n"
    "  <executable>VelmoraGame</executable>\n"
    "  <unpatchableversion>3</unpatchableversion>\n"
    "  <unpatchableurl>http://failsafe.test/</unpatchableurl>\n"
    "</getcurrentversion>\n";

ReplyParseResult ParseVersion(const std::string& reply, VersionInfo* info, ServiceError* error) {
  return ParseGetCurrentVersion(reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size(),
                                info, error);
}

ReplyParseResult ParseStatus(const std::string& reply, std::string* status, ServiceError* error) {
  return ParseGetSystemStatus(reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size(),
                              status, error);
}

class ServiceQueriesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    BackendServer().Handle(kVersionPath, nullptr);
    BackendServer().Handle(kStatusPath, nullptr);
  }
  testing::IsolatedSystem system_;
  testing::LogCapture log_;
};

TEST_F(ServiceQueriesTest, FullReplyFillsEveryField) {
  VersionInfo info;
  ServiceError error;
  ASSERT_EQ(ParseVersion(kFullReply, &info, &error), ReplyParseResult::kSuccess);
  EXPECT_EQ(info.newversion, "1.0.3.900000");
  EXPECT_EQ(info.newgameversion, "2.4.1");
  EXPECT_EQ(info.manifesturl, "http://content.test/launcher");
  EXPECT_EQ(info.gamemanifesturl, "http://content.test/game");
  EXPECT_EQ(info.crashurl, "http://crash.test/report");
  EXPECT_EQ(info.telemurl, "http://telemetry.test/");
  EXPECT_EQ(info.environment, "prod");
  EXPECT_EQ(info.launcheraction, 2);
  EXPECT_EQ(info.created, "2024-05-01");
  EXPECT_EQ(info.built, "build-77");
  EXPECT_EQ(info.externalurl, "http://news.test/");
  EXPECT_EQ(info.executable, "VelmoraGame");
  EXPECT_EQ(info.unpatchableversion, 3);
  EXPECT_EQ(info.unpatchableurl, "http://failsafe.test/");
}

TEST_F(ServiceQueriesTest, VersionReplyScanRules) {
  const std::string required =
      "<newversion>1</newversion><manifesturl>m</manifesturl><environment>e</environment>";
  struct Case {
    const char* name;
    std::string reply;
    ReplyParseResult result;
    VersionInfo expected;  // compared where the case sets a field
  };
  auto fields = [](std::string newversion, std::string manifest, std::string environment) {
    VersionInfo info;
    info.newversion = std::move(newversion);
    info.manifesturl = std::move(manifest);
    info.environment = std::move(environment);
    info.executable = "Velmora";
    return info;
  };
  std::vector<Case> cases = {
      {"minimal", "<getcurrentversion>" + required + "</getcurrentversion>",
       ReplyParseResult::kSuccess, fields("1", "m", "e")},
      {"fields after the closing tag",
       "<reply><getcurrentversion/><late>" + required + "</late></reply>",
       ReplyParseResult::kSuccess, fields("1", "m", "e")},
      {"fields at any depth",
       "<getcurrentversion><a><b>" + required + "</b></a></getcurrentversion>",
       ReplyParseResult::kSuccess, fields("1", "m", "e")},
      {"last one wins",
       "<getcurrentversion>" + required + "<newversion>2</newversion></getcurrentversion>",
       ReplyParseResult::kSuccess, fields("2", "m", "e")},
      {"empty element gives empty text",
       "<getcurrentversion>" + required + "<newversion/></getcurrentversion>",
       ReplyParseResult::kSuccess, fields("", "m", "e")},
      {"text up to the next node",
       "<getcurrentversion>" + required + "<manifesturl>ab<!--x-->cd</manifesturl></getcurrentversion>",
       ReplyParseResult::kSuccess, fields("1", "ab", "e")},
      {"element before the decider is ignored",
       "<r><newversion>0</newversion><getcurrentversion><manifesturl>m</manifesturl>"
       "<environment>e</environment></getcurrentversion></r>",
       ReplyParseResult::kNoReply, VersionInfo()},
      {"missing newversion",
       "<getcurrentversion><manifesturl>m</manifesturl><environment>e</environment></getcurrentversion>",
       ReplyParseResult::kNoReply, VersionInfo()},
      {"names are case-sensitive",
       "<getcurrentversion><NewVersion>1</NewVersion><manifesturl>m</manifesturl>"
       "<environment>e</environment></getcurrentversion>",
       ReplyParseResult::kNoReply, VersionInfo()},
      {"deciding element is case-sensitive",
       "<GetCurrentVersion>" + required + "</GetCurrentVersion>", ReplyParseResult::kNoReply,
       VersionInfo()},
      {"no deciding element", "<status>Open</status>", ReplyParseResult::kNoReply, VersionInfo()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VersionInfo info;
    info.built = "left over";  // the parser starts from defaults
    ServiceError error;
    EXPECT_EQ(ParseVersion(c.reply, &info, &error), c.result);
    EXPECT_EQ(info.newversion, c.expected.newversion);
    EXPECT_EQ(info.manifesturl, c.expected.manifesturl);
    EXPECT_EQ(info.environment, c.expected.environment);
    EXPECT_EQ(info.executable, c.expected.executable);
    EXPECT_EQ(info.built, "");
  }
  EXPECT_EQ(log_.Text(), "") << "no reply of these writes a line";
}

TEST_F(ServiceQueriesTest, IntegersAreParsedLeniently) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"42", 42}, {"  -7", -7}, {"+5", 5}, {"12abc", 12}, {"abc", 0}, {"", 0},
      {"\n 3 ", 3}, {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1},
  };
  for (const auto& [text, value] : cases) {
    SCOPED_TRACE(text);
    VersionInfo info;
    const std::string reply = std::string("<getcurrentversion><newversion>1</newversion>"
                                          "<manifesturl>m</manifesturl><environment>e</environment>"
                                          "<launcheraction>") +
                              text + "</launcheraction></getcurrentversion>";
    ASSERT_EQ(ParseVersion(reply, &info, nullptr), ReplyParseResult::kSuccess);
    EXPECT_EQ(info.launcheraction, value);
  }
}

TEST_F(ServiceQueriesTest, ErrorReplyIsLoggedAndNeverASuccess) {
  struct Case {
    const char* name;
    std::string reply;
    ReplyParseResult result;
    std::string line;
    ServiceError detail;
  };
  const Case cases[] = {
      {"complete", "<error><component>3</component><errorCode>12</errorCode><errorName>BadEnv</errorName></error>",
       ReplyParseResult::kErrorReply,
       "ParseErrorTag: Received error from tessel 'BadEnv' (12) in component (3)!", {3, 12, "BadEnv"}},
      {"name missing", "<error><component>3</component><errorCode>12</errorCode></error>",
       ReplyParseResult::kNoReply,
       "ParseErrorTag: Received error from tessel '' (12) in component (3)!", {0, 0, ""}},
      {"error before the reply decides",
       "<r><error><errorCode>1</errorCode><component>2</component><errorName>X</errorName></error>"
       "<getcurrentversion><newversion>1</newversion><manifesturl>m</manifesturl>"
       "<environment>e</environment></getcurrentversion></r>",
       ReplyParseResult::kErrorReply,
       "ParseErrorTag: Received error from tessel 'X' (1) in component (2)!", {2, 1, "X"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VersionInfo info;
    ServiceError error{9, 9, "stale"};
    EXPECT_EQ(ParseVersion(c.reply, &info, &error), c.result);
    EXPECT_EQ(log_.Lines().back(), c.line);
    EXPECT_EQ(error.component, c.detail.component);
    EXPECT_EQ(error.errorCode, c.detail.errorCode);
    EXPECT_EQ(error.errorName, c.detail.errorName);
  }
}

TEST_F(ServiceQueriesTest, InvalidXmlIsLoggedPerQuery) {
  VersionInfo info;
  std::string status;
  EXPECT_EQ(ParseVersion("<getcurrentversion><newversion>", &info, nullptr),
            ReplyParseResult::kNoReply);
  EXPECT_EQ(ParseStatus("not xml at all", &status, nullptr), ReplyParseResult::kNoReply);
  EXPECT_EQ(ParseStatus("", &status, nullptr), ReplyParseResult::kNoReply);
  EXPECT_THAT(log_.Lines(), ::testing::ElementsAre(
                                "ParseGetCurrentVersion: Server returned invalid XML!",
                                "ParseGetCurrentStatus: Server returned invalid XML!",
                                "ParseGetCurrentStatus: Server returned invalid XML!"));
}

TEST_F(ServiceQueriesTest, StatusReplyRules) {
  const std::tuple<const char*, ReplyParseResult, const char*> cases[] = {
      {"<getsystemstatus><status>Open</status></getsystemstatus>", ReplyParseResult::kSuccess, "Open"},
      {"<getsystemstatus><status>Closed</status><status>open</status></getsystemstatus>",
       ReplyParseResult::kSuccess, "open"},
      {"<getsystemstatus><status/></getsystemstatus>", ReplyParseResult::kSuccess, ""},
      {"<getsystemstatus><Status>Open</Status></getsystemstatus>", ReplyParseResult::kNoReply, ""},
      {"<getcurrentversion><status>Open</status></getcurrentversion>", ReplyParseResult::kNoReply, ""},
  };
  for (const auto& [reply, result, text] : cases) {
    SCOPED_TRACE(reply);
    std::string status = "stale";
    EXPECT_EQ(ParseStatus(reply, &status, nullptr), result);
    EXPECT_EQ(status, text);
  }
}

TEST_F(ServiceQueriesTest, VersionQueryRequestsLogsAndReturnsTheReply) {
  BackendServer().Respond(kVersionPath, MakeHttpResponse(200, kFullReply));
  VersionInfo info;
  ASSERT_TRUE(GetVersionInformation(TesselClient("prod-info"), &info));
  EXPECT_EQ(info.newversion, "1.0.3.900000");
  EXPECT_EQ(info.executable, "VelmoraGame");

  const auto requests = BackendServer().Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().target,
            std::string(kVersionPath) + "?lver=1.0.2.822392&menv=prod-info");
  EXPECT_EQ(requests.back().Header("User-Agent"), "KR-Launcher");

  const auto lines = log_.Lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Setting tessel to use production configs.");
  EXPECT_EQ(lines[1], "Constructed URL : " + ServiceBaseUrl(ServiceEndpoint::kProduction) +
                          "/krops/getCurrentVersion?lver=1.0.2.822392&menv=prod-info");
  EXPECT_EQ(lines[2], "Sync HTTP request: \"" + lines[1].substr(18) + "\".");
  EXPECT_EQ(lines.back(), "GetVersionInformation(): Version info mem stream count=1");
}

TEST_F(ServiceQueriesTest, FailedVersionQueryLeavesTheRecordUntouched) {
  const std::string no_newversion =
      "<getcurrentversion><manifesturl>m</manifesturl><environment>e</environment></getcurrentversion>";
  const std::string error_reply =
      "<error><component>3</component><errorCode>12</errorCode><errorName>BadEnv</errorName></error>";
  const std::string responses[] = {
      MakeHttpResponse(200, no_newversion),
      MakeHttpResponse(200, error_reply),
      MakeHttpResponse(200, "<<<"),
      MakeHttpResponse(404, kFullReply),
  };
  for (const std::string& response : responses) {
    SCOPED_TRACE(response);
    BackendServer().Respond(kVersionPath, response);
    VersionInfo info;
    info.newversion = "untouched";
    info.launcheraction = 77;
    EXPECT_FALSE(GetVersionInformation(TesselClient("RL-Prod-Release"), &info));
    EXPECT_EQ(info.newversion, "untouched");
    EXPECT_EQ(info.launcheraction, 77);
    EXPECT_EQ(info.executable, "");
    EXPECT_EQ(log_.Lines().back(), "GetVersionInformation(): Version info mem stream count=1");
  }
  EXPECT_EQ(log_.Count("ParseErrorTag: Received error from tessel 'BadEnv' (12) in component (3)!"), 1);
  EXPECT_EQ(log_.Count("ParseGetCurrentVersion: Server returned invalid XML!"), 1);
}

TEST_F(ServiceQueriesTest, StatusQuerySendsItsParametersUnencoded) {
  BackendServer().Respond(kStatusPath,
                          MakeHttpResponse(200, "<getsystemstatus><status>Open</status></getsystemstatus>"));
  // An unlisted name reaches production; it still travels as the name.
  std::string status = "unchanged";
  ASSERT_TRUE(GetSystemStatus(TesselClient("my env&x=1"), &status));
  EXPECT_EQ(status, "Open");
  const auto requests = BackendServer().Requests();
  ASSERT_FALSE(requests.empty());
  // Wine's WinHTTP escapes the space on the wire; the URL itself is built
  // unencoded, as the log shows.
  EXPECT_THAT(requests.back().target,
              ::testing::AnyOf(std::string(kStatusPath) + "?lver=1.0.2.822392&lang=en&name=my env&x=1",
                               std::string(kStatusPath) + "?lver=1.0.2.822392&lang=en&name=my%20env&x=1"));
  EXPECT_EQ(log_.Count("Constructed URL : " + ServiceBaseUrl(ServiceEndpoint::kProduction) +
                       "/krops/getSystemStatus?lver=1.0.2.822392&lang=en&name=my env&x=1"),
            1);

  BackendServer().Respond(kStatusPath, MakeHttpResponse(200, "<getsystemstatus/>"));
  EXPECT_FALSE(GetSystemStatus(TesselClient("prod-info"), &status));
  EXPECT_EQ(status, "Open");
}

}  // namespace
}  // namespace velmora
