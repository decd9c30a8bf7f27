#include "foundation/http/http_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/http/tests/loopback_http_server.h"
#include "foundation/os/net_socket.h"
#include "foundation/streams/memory_stream.h"

namespace velmora {
namespace {

using testing::LoopbackConnection;
using testing::LoopbackHttpServer;
using testing::MakeChunkedResponse;
using testing::MakeHttpResponse;
using testing::RecordedRequest;

struct RecordedEvent {
  JobEvent event = 0;
  std::uint32_t job_id = 0;
  JobResult result = kJobResultIncomplete;
  std::uint32_t status_code = 0;
  void* context = nullptr;
  HTTPProgress progress;
  std::thread::id thread;
};

// Collects every event a client raises, with the thread it came on.
class EventLog {
 public:
  static void Callback(void* user_data, HTTPClient*, JobEvent event, const HTTPJobStatus* status,
                       const HTTPProgress* progress) {
    auto* self = static_cast<EventLog*>(user_data);
    RecordedEvent recorded;
    recorded.event = event;
    recorded.thread = std::this_thread::get_id();
    if (status) {
      recorded.job_id = status->jobId;
      recorded.result = status->result;
      recorded.status_code = status->statusCode;
      recorded.context = status->context;
    }
    if (progress) recorded.progress = *progress;
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->events_.push_back(recorded);
    self->changed_.notify_all();
  }

  std::vector<RecordedEvent> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<RecordedEvent> Of(JobEvent kind) {
    std::vector<RecordedEvent> found;
    for (const auto& event : Events())
      if (event.event == kind) found.push_back(event);
    return found;
  }
  // Waits for the done event of `job_id`.
  bool WaitForDone(std::uint32_t job_id, RecordedEvent* done,
                   std::chrono::seconds limit = std::chrono::seconds(30)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
      for (const auto& event : events_) {
        if (event.event == kJobEventDone && event.job_id == job_id) {
          *done = event;
          return true;
        }
      }
      return false;
    });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<RecordedEvent> events_;
};

class HttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    client_ = HTTPClient::Create();
    ASSERT_NE(client_, nullptr);
    client_->AddRef();
    client_->SetCallback(&EventLog::Callback, &log_);
    ASSERT_TRUE(client_->Init());
    client_->SetUserAgent("Velmora-Test-Agent");
  }

  void TearDown() override {
    client_->Shutdown();
    client_->Release();
    server_.Stop();
  }

  RefPtr<MemoryStream> NewStream() { return RefPtr<MemoryStream>(MemoryStream::Create()); }

  // Queues one job and waits for its done event.
  RecordedEvent Fetch(const std::string& url, Stream* output, HTTPRequest** keep = nullptr) {
    HTTPRequest* request = nullptr;
    EXPECT_TRUE(client_->CreateRequest(url.c_str(), output, &request));
    const std::uint32_t id = client_->AddJob(request, this);
    EXPECT_NE(id, 0u);
    RecordedEvent done;
    EXPECT_TRUE(log_.WaitForDone(id, &done)) << "no done event for " << url;
    EXPECT_TRUE(client_->WaitForJobs(10000));
    if (keep)
      *keep = request;
    else
      request->Release();
    return done;
  }

  LoopbackHttpServer server_;
  HTTPClient* client_ = nullptr;
  EventLog log_;
};

TEST_F(HttpClientTest, FinalStatusDecidesTheResult) {
  struct Case {
    const char* name;
    std::string response;
    JobResult result;
    std::uint32_t status;
  };
  const Case cases[] = {
      {"ok", MakeHttpResponse(200, "hello"), kJobResultOK, 200},
      {"no-content", MakeHttpResponse(204, ""), kJobResultOK, 204},
      {"not-found", MakeHttpResponse(404, "missing"), kJobResultErrorServerError, 404},
      {"unauthorized", MakeHttpResponse(401, "who?"), kJobResultErrorNeedAuthorization, 401},
      {"forbidden", MakeHttpResponse(403, ""), kJobResultErrorServerError, 403},
      {"server-error", MakeHttpResponse(500, "oops"), kJobResultErrorServerError, 500},
      {"not-modified", MakeHttpResponse(304, ""), kJobResultErrorServerError, 304},
      {"temporary-redirect", MakeHttpResponse(307, "", {{"Location", "/ok"}}),
       kJobResultErrorServerError, 307},
      {"found-without-location", MakeHttpResponse(302, "nowhere"), kJobResultErrorServerError,
       302},
  };
  for (const Case& c : cases) server_.Respond(std::string("/") + c.name, c.response);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto body = NewStream();
    const RecordedEvent done = Fetch(server_.Url(std::string("/") + c.name), body.get());
    EXPECT_EQ(done.result, c.result) << JobResultName(done.result);
    EXPECT_EQ(done.status_code, c.status);
    EXPECT_EQ(done.context, this);
  }
  auto body = NewStream();
  Fetch(server_.Url("/ok"), body.get());
  EXPECT_EQ(body->View(), "hello");
  EXPECT_EQ(server_.UnexpectedRequests(), 0);
}

TEST_F(HttpClientTest, RedirectionsAreFollowedUpToFive) {
  // /hop/N answers 302 to /hop/N-1 (relative, absolute path or full URL in
  // turn); /hop/0 answers 200.
  for (int hop = 0; hop <= 6; ++hop) {
    const std::string path = "/hop/" + std::to_string(hop);
    if (hop == 0) {
      server_.Respond(path, MakeHttpResponse(200, "final body"));
      continue;
    }
    const std::string next = std::to_string(hop - 1);
    const std::string location = hop % 3 == 0   ? next
                                 : hop % 3 == 1 ? "/hop/" + next
                                                : server_.Url("/hop/" + next);
    const int status = hop == 2 ? 301 : hop == 4 ? 303 : 302;
    server_.Respond(path, MakeHttpResponse(status, "redirect body " + path, {{"Location", location}}));
  }

  struct Case {
    int hops;
    JobResult result;
    std::uint32_t status;
  };
  for (const Case c : {Case{1, kJobResultOK, 200}, Case{5, kJobResultOK, 200},
                       Case{6, kJobResultErrorServerError, 302}}) {
    SCOPED_TRACE(c.hops);
    auto body = NewStream();
    ASSERT_TRUE(body->Write("stale bytes from an earlier use", 31));
    const std::size_t before = server_.Requests().size();
    const RecordedEvent done = Fetch(server_.Url("/hop/" + std::to_string(c.hops)), body.get());
    EXPECT_EQ(done.result, c.result) << JobResultName(done.result);
    EXPECT_EQ(done.status_code, c.status);
    if (c.result == kJobResultOK) {
      EXPECT_EQ(body->View(), "final body");
      EXPECT_EQ(server_.Requests().size() - before, static_cast<std::size_t>(c.hops + 1));
    } else {
      // The sixth redirection is not followed: /hop/6 ... /hop/1 only.
      EXPECT_EQ(server_.Requests().size() - before, 6u);
    }
    EXPECT_EQ(log_.Of(kJobEventProgress).size(), 0u);
  }
  EXPECT_EQ(server_.UnexpectedRequests(), 0);
}

TEST_F(HttpClientTest, ProgressFollowsTheSizeRules) {
  struct Case {
    const char* path;
    std::string response;
    std::size_t body_size;
    bool expect_progress;
    std::uint64_t expected_size;
  };
  const std::string small(1000, 's');
  const std::string edge(2048, 'e');
  const std::string large(300000, 'l');
  const Case cases[] = {
      {"/small", MakeHttpResponse(200, small), small.size(), false, 0},
      {"/edge", MakeHttpResponse(200, edge), edge.size(), true, 2048},
      {"/large", MakeHttpResponse(200, large), large.size(), true, large.size()},
      {"/chunked-small", MakeChunkedResponse(200, {"abc", "defg"}), 7, true, kHTTPUnknownLength},
  };
  for (const Case& c : cases) server_.Respond(c.path, c.response);
  const auto test_thread = std::this_thread::get_id();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::size_t events_before = log_.Events().size();
    auto body = NewStream();
    const RecordedEvent done = Fetch(server_.Url(c.path), body.get());
    EXPECT_EQ(done.result, kJobResultOK);
    EXPECT_EQ(body->Size(), c.body_size);
    std::vector<RecordedEvent> progress;
    const auto events = log_.Events();
    for (std::size_t i = events_before; i < events.size(); ++i)
      if (events[i].event == kJobEventProgress) progress.push_back(events[i]);
    if (!c.expect_progress) {
      EXPECT_TRUE(progress.empty());
      continue;
    }
    ASSERT_FALSE(progress.empty());
    std::uint64_t last_percent = 0;
    for (const auto& event : progress) {
      EXPECT_NE(event.thread, test_thread);
      EXPECT_EQ(event.progress.expected, c.expected_size);
      EXPECT_GE(event.progress.percent, last_percent + 5);
      EXPECT_LE(event.progress.percent, 100u);
      last_percent = event.progress.percent;
    }
    if (c.expected_size == kHTTPUnknownLength) {
      // Without a length the percent is 50, so only one event can pass.
      EXPECT_EQ(progress.size(), 1u);
      EXPECT_EQ(progress.back().progress.percent, 50u);
    } else {
      // The last event comes once the percent is within one step of 100.
      EXPECT_GT(progress.back().progress.percent, 95u);
      EXPECT_GT(progress.back().progress.received, c.body_size * 95 / 100);
    }
  }
}

TEST_F(HttpClientTest, ChunkedBodyIsReassembled) {
  std::vector<std::string> chunks;
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    chunks.push_back(std::string(static_cast<std::size_t>(100 + i * 37), static_cast<char>('a' + i % 26)));
    expected += chunks.back();
  }
  server_.Respond("/chunked", MakeChunkedResponse(200, chunks));
  auto body = NewStream();
  const RecordedEvent done = Fetch(server_.Url("/chunked"), body.get());
  EXPECT_EQ(done.result, kJobResultOK);
  EXPECT_EQ(body->View(), expected);
}

TEST_F(HttpClientTest, CancelEndsQueuedJobsOnTheCallersThreadAndStopsTheRunningOne) {
  server_.Handle("/stall", [](const RecordedRequest&, LoopbackConnection& connection) {
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\npartial");
    connection.Pause(60000);
  });
  HTTPRequest* request = nullptr;
  auto body = NewStream();
  ASSERT_TRUE(client_->CreateRequest(server_.Url("/stall").c_str(), body.get(), &request));
  int contexts[3];
  const std::uint32_t running = client_->AddJob(request, &contexts[0]);
  const std::uint32_t queued1 = client_->AddJob(request, &contexts[1]);
  const std::uint32_t queued2 = client_->AddJob(request, &contexts[2]);
  EXPECT_EQ(running, 1u);
  EXPECT_EQ(queued1, 2u);
  EXPECT_EQ(queued2, 3u);
  // Let the first job reach the server before cancelling.
  for (int i = 0; i < 500 && server_.Requests().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(server_.Requests().size(), 1u);

  client_->CancelJobs();
  const auto done_now = log_.Of(kJobEventDone);
  ASSERT_EQ(done_now.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(done_now[i].job_id, i == 0 ? queued1 : queued2);
    EXPECT_EQ(done_now[i].result, kJobResultErrorCancelled);
    EXPECT_EQ(done_now[i].thread, std::this_thread::get_id());
    EXPECT_EQ(done_now[i].context, &contexts[i + 1]);
  }

  const auto started = std::chrono::steady_clock::now();
  RecordedEvent done;
  ASSERT_TRUE(log_.WaitForDone(running, &done, std::chrono::seconds(10)));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_EQ(done.result, kJobResultErrorCancelled);
  EXPECT_NE(done.thread, std::this_thread::get_id());
  EXPECT_TRUE(client_->WaitForJobs(10000));
  EXPECT_EQ(server_.Requests().size(), 1u);
  request->Release();
}

TEST_F(HttpClientTest, NetworkFailuresHaveTheirOwnResults) {
  // A port that nobody listens on: take a free one and give it back.
  std::uint16_t closed_port = 0;
  {
    os::TcpSocket probe;
    ASSERT_TRUE(probe.Listen("127.0.0.1", 0));
    closed_port = probe.LocalPort();
  }
  server_.Handle("/silent", [](const RecordedRequest&, LoopbackConnection& connection) {
    connection.Pause(20000);
  });
  server_.Handle("/drop", [](const RecordedRequest&, LoopbackConnection& connection) {
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n" + std::string(3000, 'd'));
    connection.Close();
  });
  server_.Handle("/reset", [](const RecordedRequest&, LoopbackConnection& connection) {
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n" + std::string(3000, 'r'));
    connection.Pause(200);
    connection.Reset();
  });
  server_.Handle("/hangup", [](const RecordedRequest&, LoopbackConnection& connection) {
    connection.Close();
  });
  server_.Respond("/garbage", "this is not http\r\n\r\n");
  server_.Respond("/bad-status", "HTTP/1.1 2x0 OK\r\nContent-Length: 0\r\n\r\n");

  // A label longer than 63 characters cannot be put into a DNS query, so
  // the lookup fails on this machine without asking any name server.
  const std::string unresolvable = "http://" + std::string(70, 'n') + ".invalid/file";
  struct Case {
    std::string url;
    JobResult result;
  };
  const Case cases[] = {
      {"http://127.0.0.1:" + std::to_string(closed_port) + "/refused",
       kJobResultErrorConnectionFailure},
      {unresolvable, kJobResultErrorAddressLookup},
      {server_.Url("/silent"), kJobResultErrorTimeout},
      {server_.Url("/drop"), kJobResultErrorConnectionLost},
      {server_.Url("/reset"), kJobResultErrorConnectionLost},
      {server_.Url("/garbage"), kJobResultErrorBadFormat},
      {server_.Url("/bad-status"), kJobResultErrorBadFormat},
  };
  client_->SetTimeoutSeconds(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    auto body = NewStream();
    const auto started = std::chrono::steady_clock::now();
    const RecordedEvent done = Fetch(c.url, body.get());
    EXPECT_EQ(done.result, c.result) << JobResultName(done.result);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
  }
  // An https URL makes the client open with a TLS handshake; this plain
  // server hangs up on it, which fails the connection.
  const JobResult tls = Fetch("https://127.0.0.1:" + std::to_string(server_.port()) + "/secure",
                              NewStream().get())
                            .result;
  EXPECT_TRUE(tls == kJobResultErrorConnectionFailure || tls == kJobResultErrorConnectionLost)
      << JobResultName(tls);
  EXPECT_GE(server_.TlsHandshakes(), 1);

  // A peer that hangs up before any reply: libcurl calls that a lost
  // connection, Wine's WinHTTP an invalid reply. Either way a network fault.
  auto body = NewStream();
  const JobResult hangup = Fetch(server_.Url("/hangup"), body.get()).result;
  EXPECT_TRUE(hangup == kJobResultErrorConnectionLost || hangup == kJobResultErrorBadFormat)
      << JobResultName(hangup);
}

TEST_F(HttpClientTest, SendsOnlyTheRequestLineUserAgentAndHost) {
  server_.Respond("/echo", MakeHttpResponse(200, "ok"));
  auto body = NewStream();
  Fetch(server_.Url("/echo?lver=1.0.2.822392&menv=env with space&x"), body.get());
  HTTPRequest* custom = nullptr;
  ASSERT_TRUE(client_->CreateRequest(server_.Url("/echo").c_str(), body.get(), &custom));
  custom->AddHeader("User-Agent", "Own-Agent");
  custom->AddHeader("Host", "virtual.test");
  ASSERT_NE(client_->AddJob(custom, nullptr), 0u);
  ASSERT_TRUE(client_->WaitForJobs(10000));
  custom->Release();

  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  const RecordedRequest& plain = requests[0];
  // The target goes out as given. (Wine's WinHTTP escapes spaces even when
  // escaping is turned off; Windows and libcurl send them as they stand.)
  EXPECT_THAT(plain.request_line,
              ::testing::AnyOf("GET /echo?lver=1.0.2.822392&menv=env with space&x HTTP/1.1",
                               "GET /echo?lver=1.0.2.822392&menv=env%20with%20space&x HTTP/1.1"));
  EXPECT_EQ(plain.Header("User-Agent"), "Velmora-Test-Agent");
  EXPECT_EQ(plain.Header("Host"), "127.0.0.1:" + std::to_string(server_.port()));
  EXPECT_EQ(plain.HeaderCount("Accept"), 0);
  const RecordedRequest& own = requests[1];
  EXPECT_EQ(own.Header("User-Agent"), "Own-Agent");
  EXPECT_EQ(own.HeaderCount("User-Agent"), 1);
  EXPECT_EQ(own.Header("Host"), "virtual.test");
  EXPECT_EQ(own.HeaderCount("Host"), 1);
}

TEST_F(HttpClientTest, ControlCharactersInTheTargetAreNeverSent) {
  auto body = NewStream();
  const RecordedEvent done =
      Fetch(server_.Url("/x?name=a\r\nX-Injected: 1"), body.get());
  EXPECT_EQ(done.result, kJobResultErrorBadRequest);
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(HttpClientTest, BytesReceivedCountsHeadsAndBodies) {
  const std::string first = MakeHttpResponse(200, std::string(5000, 'x'));
  const std::string second = MakeHttpResponse(404, "gone");
  server_.Respond("/first", first);
  server_.Respond("/second", second);
  auto body = NewStream();
  EXPECT_EQ(client_->GetBytesReceived(), 0u);
  Fetch(server_.Url("/first"), body.get());
  EXPECT_EQ(client_->GetBytesReceived(), first.size());
  Fetch(server_.Url("/second"), body.get());
  EXPECT_EQ(client_->GetBytesReceived(), first.size() + second.size());
}

TEST_F(HttpClientTest, StreamAndHandlerFailuresEndTheJob) {
  server_.Respond("/big", MakeHttpResponse(200, std::string(4000, 'b')));
  MemoryStreamOptions fixed;
  fixed.resizable = false;
  fixed.initial_capacity = 100;
  RefPtr<MemoryStream> small_stream(MemoryStream::Create(fixed));
  EXPECT_EQ(Fetch(server_.Url("/big"), small_stream.get()).result,
            kJobResultErrorOutputStreamFailure);

  auto body = NewStream();
  HTTPRequest* request = nullptr;
  ASSERT_TRUE(client_->CreateRequest(server_.Url("/big").c_str(), body.get(), &request));
  std::vector<std::string> seen;
  request->SetHeaderHandler([&seen](std::uint32_t status, std::string_view name, std::string_view) {
    seen.push_back(std::to_string(status) + " " + std::string(name));
    return name != "Content-Length";
  });
  const std::uint32_t id = client_->AddJob(request, nullptr);
  RecordedEvent done;
  ASSERT_TRUE(log_.WaitForDone(id, &done));
  EXPECT_EQ(done.result, kJobResultErrorHeaderHandlerFailure);
  EXPECT_EQ(seen, std::vector<std::string>{"200 Content-Length"});
  EXPECT_EQ(body->Size(), 0u);
  request->Release();
}

TEST_F(HttpClientTest, JobsRunInQueueOrderAndTheStatusKeepsTheResponse) {
  for (const char* path : {"/1", "/2", "/3"}) server_.Respond(path, MakeHttpResponse(200, path));
  auto body = NewStream();
  std::vector<HTTPRequest*> requests;
  std::vector<std::uint32_t> ids;
  for (const char* path : {"/1", "/2", "/3"}) {
    HTTPRequest* request = nullptr;
    ASSERT_TRUE(client_->CreateRequest(server_.Url(path).c_str(), body.get(), &request));
    requests.push_back(request);
    ids.push_back(client_->AddJob(request, nullptr));
  }
  ASSERT_TRUE(client_->WaitForJobs(0));
  const auto recorded = server_.Requests();
  ASSERT_EQ(recorded.size(), 3u);
  EXPECT_EQ(recorded[0].path, "/1");
  EXPECT_EQ(recorded[1].path, "/2");
  EXPECT_EQ(recorded[2].path, "/3");
  const auto done = log_.Of(kJobEventDone);
  ASSERT_EQ(done.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(done[i].job_id, ids[i]);
  EXPECT_EQ(body->View(), "/1/2/3");
  for (HTTPRequest* request : requests) request->Release();
  // Only this test holds the stream now; the jobs let go of it.
  EXPECT_EQ(body->RefCount(), 1);
}

// A copy of the done status holds the request and its stream, as the
// download session's "last status" does with an open file.
TEST_F(HttpClientTest, CopiedStatusHoldsTheOutputStream) {
  server_.Respond("/keep", MakeHttpResponse(200, "kept"));
  struct Holder {
    std::mutex mutex;
    HTTPJobStatus last;
  } holder;
  client_->SetCallback(
      [](void* user_data, HTTPClient*, JobEvent event, const HTTPJobStatus* status,
         const HTTPProgress*) {
        if (event != kJobEventDone) return;
        auto* h = static_cast<Holder*>(user_data);
        std::lock_guard<std::mutex> lock(h->mutex);
        h->last = *status;
      },
      &holder);
  auto body = NewStream();
  HTTPRequest* request = nullptr;
  ASSERT_TRUE(client_->CreateRequest(server_.Url("/keep").c_str(), body.get(), &request));
  ASSERT_NE(client_->AddJob(request, nullptr), 0u);
  request->Release();
  ASSERT_TRUE(client_->WaitForJobs(10000));
  std::lock_guard<std::mutex> lock(holder.mutex);
  EXPECT_EQ(holder.last.result, kJobResultOK);
  EXPECT_EQ(body->RefCount(), 2);  // this test and the status's request
  holder.last.Clear();
  EXPECT_EQ(body->RefCount(), 1);
}

TEST(HttpClientLifecycleTest, JobsNeedAReadyClientAndAUsableRequest) {
  HTTPClient* client = HTTPClient::Create();
  client->AddRef();
  EventLog log;
  client->SetCallback(&EventLog::Callback, &log);
  RefPtr<MemoryStream> body(MemoryStream::Create());

  HTTPRequest* good = nullptr;
  ASSERT_TRUE(client->CreateRequest("http://127.0.0.1:9/x", body.get(), &good));
  EXPECT_FALSE(client->CreateRequest("http://127.0.0.1:9/x", body.get(), nullptr));
  EXPECT_EQ(client->AddJob(good, nullptr), 0u) << "not ready before Init";

  ASSERT_TRUE(client->Init());
  EXPECT_EQ(client->AddJob(nullptr, nullptr), 0u);
  for (const char* bad : {"ftp://127.0.0.1/x", "no url at all", ""}) {
    HTTPRequest* request = nullptr;
    ASSERT_TRUE(client->CreateRequest(bad, body.get(), &request)) << bad;
    EXPECT_EQ(client->AddJob(request, nullptr), 0u) << bad;
    request->Release();
  }
  HTTPRequest* null_url = nullptr;
  ASSERT_TRUE(client->CreateRequest(nullptr, body.get(), &null_url));
  EXPECT_EQ(client->AddJob(null_url, nullptr), 0u);
  null_url->Release();
  EXPECT_TRUE(client->WaitForJobs(1)) << "no worker is running";

  client->Shutdown();
  EXPECT_EQ(client->AddJob(good, nullptr), 0u) << "not ready after Shutdown";
  good->Release();

  const auto events = log.Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].event, kJobEventCallbackSet);
  EXPECT_EQ(events[1].event, kJobEventCallbackCleared);
  client->Release();
}

TEST(HttpClientLifecycleTest, ReplacingTheCallbackClearsTheOldOne) {
  HTTPClient* client = HTTPClient::Create();
  client->AddRef();
  EventLog first, second;
  client->SetCallback(&EventLog::Callback, &first);
  client->SetCallback(&EventLog::Callback, &second);
  client->SetCallback(nullptr, nullptr);
  client->Shutdown();  // no callback left to clear
  const auto a = first.Events();
  const auto b = second.Events();
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].event, kJobEventCallbackSet);
  EXPECT_EQ(a[1].event, kJobEventCallbackCleared);
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0].event, kJobEventCallbackSet);
  EXPECT_EQ(b[1].event, kJobEventCallbackCleared);
  EXPECT_EQ(JobResultName(kJobResultErrorHeaderHandlerFailure),
            std::string("kJobResultErrorHeaderHandlerFailure"));
  EXPECT_EQ(JobResultName(15), nullptr);
  client->Release();
}

TEST(HttpClientLifecycleTest, WaitForJobsTimesOutWhileAJobRuns) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.Start());
  server.Handle("/slow", [](const RecordedRequest&, LoopbackConnection& connection) {
    connection.Pause(700);
    connection.Send(MakeHttpResponse(200, "late"));
  });
  HTTPClient* client = HTTPClient::Create();
  client->AddRef();
  ASSERT_TRUE(client->Init());
  RefPtr<MemoryStream> body(MemoryStream::Create());
  HTTPRequest* request = nullptr;
  ASSERT_TRUE(client->CreateRequest(server.Url("/slow").c_str(), body.get(), &request));
  ASSERT_NE(client->AddJob(request, nullptr), 0u);
  EXPECT_FALSE(client->WaitForJobs(100));
  EXPECT_TRUE(client->WaitForJobs(0));
  EXPECT_EQ(body->View(), "late");
  request->Release();
  client->Shutdown();
  client->Release();
}

}  // namespace
}  // namespace velmora
