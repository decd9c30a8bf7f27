// Runs velmora-devserver as a process and talks to it through the
// launcher's own HTTP client, fetch and backend queries. Under Wine the
// Windows test program starts the Linux server; the server then takes Unix
// paths while this program reaches the same files through drive Z:.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "backend/service_queries.h"
#include "download/sync_http_get.h"
#include "download/tests/log_capture.h"
#include "foundation/http/http_client.h"
#include "foundation/os/environment.h"
#include "foundation/os/process.h"
#include "foundation/streams/memory_stream.h"
#include "testing/test_support.h"

namespace velmora {
namespace {

constexpr bool kViaWine = VELMORA_DEVSERVER_VIA_WINE != 0;

// A Unix path as this program sees it.
std::string NativePath(const std::string& unix_path) {
  if (!kViaWine) return unix_path;
  std::string native = "Z:" + unix_path;
  for (char& c : native)
    if (c == '/') c = '\\';
  return native;
}

std::string DevServerProgram() {
  if (auto path = os::GetEnvironmentValue("VELMORA_DEVSERVER"); path && !path->empty())
    return *path;
  return VELMORA_DEVSERVER_PROGRAM_PATH;
}

std::string Pattern(std::size_t size, unsigned pattern_key) {
  std::string bytes(size, '\0');
  std::minstd_rand random(pattern_key);
  for (char& c : bytes) c = static_cast<char>(random() & 0xff);
  return bytes;
}

// One GET through a fresh client: the job's result, status and body.
struct Fetched {
  JobResult result = kJobResultIncomplete;
  std::uint32_t status = 0;
  std::string body;
  std::vector<HTTPProgress> progress;
};

Fetched Get(const std::string& url, std::vector<std::pair<std::string, std::string>> headers = {},
            std::uint32_t timeout_seconds = 15) {
  struct Events {
    std::mutex mutex;
    Fetched fetched;
  } events;
  HTTPClient* client = HTTPClient::Create();
  client->AddRef();
  client->SetCallback(
      [](void* user, HTTPClient*, JobEvent event, const HTTPJobStatus* status,
         const HTTPProgress* progress) {
        auto* e = static_cast<Events*>(user);
        std::lock_guard<std::mutex> lock(e->mutex);
        if (event == kJobEventProgress) e->fetched.progress.push_back(*progress);
        if (event == kJobEventDone) {
          e->fetched.result = status->result;
          e->fetched.status = status->statusCode;
        }
      },
      &events);
  EXPECT_TRUE(client->Init());
  client->SetTimeoutSeconds(timeout_seconds);
  RefPtr<MemoryStream> body(MemoryStream::Create());
  HTTPRequest* request = nullptr;
  EXPECT_TRUE(client->CreateRequest(url.c_str(), body.get(), &request));
  for (auto& [name, value] : headers) request->AddHeader(name, value);
  EXPECT_NE(client->AddJob(request, nullptr), 0u);
  EXPECT_TRUE(client->WaitForJobs(60000));
  client->Shutdown();
  request->Release();
  client->Release();
  events.fetched.body = std::string(body->View());
  return events.fetched;
}

// A running server with its own scratch folder (content, configuration,
// port file, request log).
class DevServerInstance {
 public:
  bool Start(const std::vector<std::string>& extra_arguments, std::string* failure) {
    static std::atomic<int> counter{0};
    std::random_device random;
    name_ = "run-" + std::to_string(random()) + "-" + std::to_string(counter++);
    unix_root_ = std::string(VELMORA_DEVSERVER_SCRATCH_UNIX) + "/" + name_;
    std::filesystem::create_directories(Native("content/files"));
    std::filesystem::create_directories(Native("config"));
    testing::WriteFileBytes(Native("content/files/small.txt"), std::string(300, 's'));
    testing::WriteFileBytes(Native("content/files/large.bin"), Pattern(200000, 1));
    testing::WriteFileBytes(Native("content/files/drop.bin"), Pattern(50000, 2));
    testing::WriteFileBytes(Native("content/files/truncated.bin"), Pattern(5000, 3));
    testing::WriteFileBytes(Native("content/files/chunked.bin"), Pattern(30000, 4));
    testing::WriteFileBytes(Native("content/files/slow.txt"), "slow");
    testing::WriteFileBytes(Native("content/files/flaky.txt"), "steady");
    testing::WriteFileBytes(Native("content/telemetry_rules.xml"), "<rules/>");
    testing::WriteFileBytes(Native("config/default.conf"),
                            "# what every environment without its own file gets\n"
                            "newversion = 1.0.2.822392\n"
                            "newgameversion = 7.1\n"
                            "manifesturl = http://${host}/files\n"
                            "environment = dev\n"
                            "crashurl = http://${host}/crash/reportCrash/\n"
                            "status = Open\n");
    testing::WriteFileBytes(Native("config/broken.conf"),
                            "error.component = 3\nerror.code = 12\nerror.name = BadEnv\n");
    testing::WriteFileBytes(Native("config/closed.conf"), "status = Closed\n");

    std::vector<std::string> arguments = {
        "--listen", "127.0.0.1:0",
        "--content", unix_root_ + "/content",
        "--config", unix_root_ + "/config",
        "--port-file", unix_root_ + "/port",
        "--log", unix_root_ + "/requests.log",
        // A safety net: a server whose test died stops by itself.
        "--idle-exit", "120"};
    arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
    const std::string program = NativePath(DevServerProgram());
    if (!process_.Start(program, arguments)) {
      *failure = "cannot start " + program;
      return false;
    }
    for (int i = 0; i < 300; ++i) {
      const std::string text = testing::ReadFileBytes(Native("port"));
      if (!text.empty()) {
        address_ = text.substr(0, text.find('\n'));
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    *failure = "the server at " + program + " wrote no port file";
    return false;
  }

  // Asks the server to stop and, where the process can be watched (not
  // under Wine), waits for its exit code.
  std::optional<int> Stop() {
    if (address_.empty()) return std::nullopt;
    Get(Url("/__devserver/shutdown"));
    address_.clear();
    std::optional<int> code;
    if (!kViaWine) code = process_.Wait(std::chrono::seconds(10));
    // Only the folder this instance made: its name is unique to this run.
    std::error_code ignored;
    std::filesystem::remove_all(NativePath(unix_root_), ignored);
    return code;
  }

  std::string Url(const std::string& path) const { return "http://" + address_ + path; }
  const std::string& address() const { return address_; }
  std::filesystem::path Native(const std::string& relative) const {
    return NativePath(unix_root_ + "/" + relative);
  }

 private:
  std::string name_;
  std::string unix_root_;
  std::string address_;
  os::ChildProcess process_;
};

const std::vector<std::string> kFaults = {
    "--fault", "/files/missing=status:404",
    "--fault", "/fault/401=status:401",
    "--fault", "/fault/redirect1=redirect:1:/files/small.txt",
    "--fault", "/fault/redirect5=redirect:5:/files/small.txt",
    "--fault", "/fault/redirect6=redirect:6:/files/small.txt",
    "--fault", "/files/drop.bin=drop:1000",
    "--fault", "/files/truncated.bin=truncate:100",
    "--fault", "/files/chunked.bin=chunked",
    "--fault", "/files/slow.txt=delay:4000",
    "--fault", "/files/flaky.txt=status:503,times=1",
};

// The shared server; it stands in for the production service host, which
// the backend fixes once per process.
DevServerInstance& Shared() {
  static DevServerInstance instance;
  return instance;
}

class SharedServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string failure;
    ASSERT_TRUE(Shared().Start(kFaults, &failure)) << failure;
    os::SetEnvironmentValue("VELMORA_PRODUCTION_HOST", Shared().address());
  }
  void TearDown() override { Shared().Stop(); }
};

const auto* const kRegistered = ::testing::AddGlobalTestEnvironment(new SharedServerEnvironment());

class DevServerTest : public ::testing::Test {
 protected:
  testing::IsolatedSystem system_;
  testing::LogCapture log_;
};

TEST_F(DevServerTest, AnswersTheBackendQueriesFromTheEnvironmentFiles) {
  VersionInfo info;
  ASSERT_TRUE(GetVersionInformation(TesselClient("prod-info"), &info));
  EXPECT_EQ(info.newversion, "1.0.2.822392");
  EXPECT_EQ(info.newgameversion, "7.1");
  EXPECT_EQ(info.manifesturl, "http://" + Shared().address() + "/files");
  EXPECT_EQ(info.environment, "dev");
  EXPECT_EQ(info.executable, "Velmora");

  std::string status;
  ASSERT_TRUE(GetSystemStatus(TesselClient("RL-Prod-Release"), &status));
  EXPECT_EQ(status, "Open");
  // An unlisted name reaches production too, and the server picks the file
  // by the name the launcher sends.
  ASSERT_TRUE(GetSystemStatus(TesselClient("closed"), &status));
  EXPECT_EQ(status, "Closed");

  EXPECT_FALSE(GetVersionInformation(TesselClient("broken"), &info));
  EXPECT_EQ(log_.Count("ParseErrorTag: Received error from tessel 'BadEnv' (12) in component (3)!"), 1);
  EXPECT_EQ(info.newgameversion, "7.1") << "a failed query leaves the record alone";
}

TEST_F(DevServerTest, ServesStaticFilesWithLengthsAndRanges) {
  RefPtr<MemoryStream> body(MemoryStream::Create());
  ASSERT_TRUE(SyncHttpGet(Shared().Url("/files/large.bin").c_str(), body.get()));
  EXPECT_EQ(body->View(), Pattern(200000, 1));

  const Fetched range = Get(Shared().Url("/files/large.bin"), {{"Range", "bytes=1000-1999"}});
  EXPECT_EQ(range.result, kJobResultOK);
  EXPECT_EQ(range.status, 206u);
  EXPECT_EQ(range.body, Pattern(200000, 1).substr(1000, 1000));

  const Fetched beyond = Get(Shared().Url("/files/large.bin"), {{"Range", "bytes=300000-"}});
  EXPECT_EQ(beyond.status, 416u);

  for (const char* outside : {"/files/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/files",
                              "/nothing.txt"}) {
    SCOPED_TRACE(outside);
    EXPECT_EQ(Get(Shared().Url(outside)).status, 404u);
  }
  EXPECT_EQ(Get(Shared().Url("/telemetry_rules.xml")).body, "<rules/>");

  // Every request is logged with its agent.
  const std::string requests = testing::ReadFileBytes(Shared().Native("requests.log"));
  EXPECT_NE(requests.find("GET /files/large.bin 200 \"KR-Launcher\""), std::string::npos)
      << requests;
}

TEST_F(DevServerTest, MisbehavesOnTheChosenPaths) {
  struct Case {
    const char* path;
    JobResult result;
    std::uint32_t status;
    std::size_t body_size;
  };
  const Case cases[] = {
      {"/files/missing", kJobResultErrorServerError, 404, 0},
      {"/fault/401", kJobResultErrorNeedAuthorization, 401, 0},
      {"/fault/redirect1", kJobResultOK, 200, 300},
      {"/fault/redirect5", kJobResultOK, 200, 300},
      {"/fault/redirect6", kJobResultErrorServerError, 302, 0},
      {"/files/drop.bin", kJobResultErrorConnectionLost, 200, 0},
      {"/files/truncated.bin", kJobResultOK, 200, 100},
      {"/files/chunked.bin", kJobResultOK, 200, 30000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const Fetched fetched = Get(Shared().Url(c.path));
    EXPECT_EQ(fetched.result, c.result) << JobResultName(fetched.result);
    EXPECT_EQ(fetched.status, c.status);
    if (c.result == kJobResultOK) {
      EXPECT_EQ(fetched.body.size(), c.body_size);
    }
  }
  const Fetched chunked = Get(Shared().Url("/files/chunked.bin"));
  EXPECT_EQ(chunked.body, Pattern(30000, 4));
  ASSERT_EQ(chunked.progress.size(), 1u);
  EXPECT_EQ(chunked.progress[0].expected, kHTTPUnknownLength);

  const Fetched slow = Get(Shared().Url("/files/slow.txt"), {}, 1);
  EXPECT_EQ(slow.result, kJobResultErrorTimeout) << JobResultName(slow.result);

  // times=1: the first request fails, the next one gets the file.
  EXPECT_EQ(Get(Shared().Url("/files/flaky.txt")).status, 503u);
  EXPECT_EQ(Get(Shared().Url("/files/flaky.txt")).body, "steady");
}

TEST_F(DevServerTest, RateLimitStretchesTheTransfer) {
  DevServerInstance limited;
  std::string failure;
  ASSERT_TRUE(limited.Start({"--rate", "100000"}, &failure)) << failure;
  const auto started = std::chrono::steady_clock::now();
  const Fetched fetched = Get(limited.Url("/files/large.bin"));
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(fetched.result, kJobResultOK);
  EXPECT_EQ(fetched.body.size(), 200000u);
  // 200000 bytes at 100000 bytes per second cannot arrive in much less
  // than two seconds.
  EXPECT_GE(took, std::chrono::milliseconds(1800));
  const auto code = limited.Stop();
  if (!kViaWine) {
    EXPECT_EQ(code, 0);
  }
}

TEST_F(DevServerTest, ShutdownRequestStopsTheServer) {
  DevServerInstance server;
  std::string failure;
  ASSERT_TRUE(server.Start({}, &failure)) << failure;
  const std::string url = server.Url("/files/small.txt");
  EXPECT_EQ(Get(url).result, kJobResultOK);
  const auto code = server.Stop();
  if (!kViaWine) {
    EXPECT_EQ(code, 0);
  }
  JobResult after = kJobResultOK;
  for (int i = 0; i < 100 && after != kJobResultErrorConnectionFailure; ++i) {
    after = Get(url).result;
    if (after != kJobResultErrorConnectionFailure)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(after, kJobResultErrorConnectionFailure) << JobResultName(after);
}

}  // namespace
}  // namespace velmora
