#include "download/sync_http_get.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "download/tests/log_capture.h"
#include "foundation/http/tests/loopback_http_server.h"
#include "foundation/streams/memory_stream.h"
#include "testing/test_support.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using testing::LoopbackConnection;
using testing::LoopbackHttpServer;
using testing::MakeHttpResponse;
using testing::RecordedRequest;

constexpr const char* kCallbackLine = "Sync HTTP callback method called.";

class SyncHttpGetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Start()); }
  void TearDown() override { server_.Stop(); }

  testing::IsolatedSystem system_;
  testing::LogCapture log_;
  LoopbackHttpServer server_;
  RefPtr<MemoryStream> body_{MemoryStream::Create()};
};

TEST_F(SyncHttpGetTest, SmallReplyLogsInstalledDoneAndRemoved) {
  server_.Respond("/manifest.xml", MakeHttpResponse(200, "<manifest/>"));
  const std::string url = server_.Url("/manifest.xml");
  EXPECT_TRUE(SyncHttpGet(url.c_str(), body_.get()));
  EXPECT_EQ(body_->View(), "<manifest/>");
  EXPECT_EQ(body_->RefCount(), 1) << "the request must have let go of the stream";
  EXPECT_THAT(log_.Lines(),
              ElementsAre("Sync HTTP request: \"" + url + "\".", kCallbackLine, kCallbackLine,
                          "Sync HTTP received job result: 0 | kJobResultOK.", kCallbackLine,
                          "Sync HTTP get result: \"success\"."));
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Header("User-Agent"), "KR-Launcher");
}

TEST_F(SyncHttpGetTest, ServerErrorIsReportedByName) {
  server_.Respond("/missing", MakeHttpResponse(404, "not here"));
  EXPECT_FALSE(SyncHttpGet(server_.Url("/missing").c_str(), body_.get()));
  const auto lines = log_.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 3], "Sync HTTP received job result: 9 | kJobResultErrorServerError.");
  EXPECT_EQ(lines.back(), "Sync HTTP get result: \"failed\".");
}

TEST_F(SyncHttpGetTest, EmptyBodyWithStatus200IsASuccess) {
  server_.Respond("/empty", MakeHttpResponse(200, ""));
  EXPECT_TRUE(SyncHttpGet(server_.Url("/empty").c_str(), body_.get()));
  EXPECT_EQ(body_->Size(), 0u);
}

TEST_F(SyncHttpGetTest, MissingArgumentsFailWithoutAClient) {
  const std::string url = server_.Url("/x");
  struct Case {
    const char* url;
    Stream* stream;
    std::string request_line;
  };
  const Case cases[] = {
      {nullptr, body_.get(), "Sync HTTP request: \"<null>\"."},
      {"", body_.get(), "Sync HTTP request: \"\"."},
      {url.c_str(), nullptr, "Sync HTTP request: \"" + url + "\"."},
  };
  for (const Case& c : cases) {
    const std::size_t before = log_.Lines().size();
    EXPECT_FALSE(SyncHttpGet(c.url, c.stream));
    const auto lines = log_.Lines();
    EXPECT_THAT(std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()),
                ElementsAre(c.request_line, "Sync HTTP get result: \"failed\"."));
  }
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(SyncHttpGetTest, UnusableUrlLogsOnlyTheCallbackSetUpAndRemoval) {
  EXPECT_FALSE(SyncHttpGet("ftp://127.0.0.1/file", body_.get()));
  EXPECT_THAT(log_.Lines(), ElementsAre("Sync HTTP request: \"ftp://127.0.0.1/file\".",
                                        kCallbackLine, kCallbackLine,
                                        "Sync HTTP get result: \"failed\"."));
}

TEST_F(SyncHttpGetTest, CancelFlagSetBeforeTheCallStopsAtOnce) {
  server_.Handle("/slow", [](const RecordedRequest&, LoopbackConnection& connection) {
    connection.Pause(30000);
  });
  std::atomic<std::uint8_t> cancel{1};
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(SyncHttpGet(server_.Url("/slow").c_str(), body_.get(), &cancel));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(log_.Count("Sync HTTP was canceled."), 1);
  EXPECT_EQ(log_.Lines().back(), "Sync HTTP get result: \"failed\".");
  EXPECT_EQ(log_.Text().find("received job result"), std::string::npos);
}

TEST_F(SyncHttpGetTest, CancelFlagRaisedDuringTheTransferEndsTheWait) {
  server_.Handle("/stall", [](const RecordedRequest&, LoopbackConnection& connection) {
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n\r\n" + std::string(100, 'p'));
    connection.Pause(30000);
  });
  std::atomic<std::uint8_t> cancel{0};
  std::thread canceller([&cancel] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel = 7;  // any nonzero value
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(SyncHttpGet(server_.Url("/stall").c_str(), body_.get(), &cancel));
  const auto took = std::chrono::steady_clock::now() - started;
  canceller.join();
  // The stalled server would hold the call for 30 s; the flag ends it.
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_EQ(log_.Count("Sync HTTP was canceled."), 1);
}

TEST_F(SyncHttpGetTest, EveryProgressEventWritesACallbackLine) {
  server_.Respond("/big", MakeHttpResponse(200, std::string(200000, 'b')));
  EXPECT_TRUE(SyncHttpGet(server_.Url("/big").c_str(), body_.get()));
  EXPECT_EQ(body_->Size(), 200000u);
  // Installed, done and removed, plus one per progress step (at most 20).
  const int callbacks = log_.Count(kCallbackLine);
  EXPECT_GT(callbacks, 3);
  EXPECT_LE(callbacks, 3 + 20);
}

TEST_F(SyncHttpGetTest, CallsOnSeveralThreadsDoNotInterfere) {
  for (int i = 0; i < 4; ++i)
    server_.Respond("/f" + std::to_string(i), MakeHttpResponse(200, std::string(3000 + i, 'a' + i)));
  std::vector<std::thread> threads;
  std::atomic<int> successes{0};
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([this, i, &successes] {
      RefPtr<MemoryStream> body(MemoryStream::Create());
      const std::string url = server_.Url("/f" + std::to_string(i));
      if (SyncHttpGet(url.c_str(), body.get()) &&
          body->View() == std::string(3000 + i, 'a' + i))
        ++successes;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(successes.load(), 4);
}

}  // namespace
}  // namespace velmora
