// HTTPClient: the launcher's job-based HTTP client.
//
// A client runs GET requests ("jobs") one after another, in queue order, on
// its own worker thread, which starts with the first AddJob and ends when the
// queue is empty. Parallel transfers take several clients. Each job writes
// the response body into the output stream of its request and reports
// progress and its end through the client's event callback (http_job.h).
//
// Engine rules every job follows, on every platform:
// - A "User-Agent" header with the client's agent text is added when the
//   request has none, and a "Host" header (the host, and ":port" when the
//   URL names one) when the request has none. No other header is added.
// - 301, 302 and 303 with a "Location" are followed inside the job, at most 5
//   times; the output stream is rewound and cut before the next response.
//   A sixth, a redirection without "Location" and any other 3xx status end
//   the job with kJobResultErrorServerError. Bodies of followed redirections
//   are read but not written.
// - Chunked and length-delimited bodies are both read; a body that ends
//   before its Content-Length is a lost connection.
// - While a body arrives, after each block received, percent = received *
//   100 / expected (at most 100), or 50 when the response gives no length;
//   kJobEventProgress is raised only when the expected size is at least 2048
//   bytes and the percent grew by at least 5 since the job's last progress
//   event.
// - The timeout applies to name lookup and connecting and to every wait for
//   data to send or receive; there is no limit on a job's total time.
// - No proxy is used; TLS peers are verified against the system's trusted
//   certificates. One request is carried by libcurl on POSIX and by WinHTTP
//   on Windows, both with their own redirect handling turned off.
//
// Threads: every operation may be called from any thread, but not from
// inside the event callback except CancelJobs, AddJob and GetBytesReceived.
// The callback is never run twice at once; SetCallback, CancelJobs and
// Shutdown wait for a callback that is running on the worker, so do not call
// them while holding a lock that your callback takes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/http/http_job.h"
#include "foundation/http/http_url.h"
#include "foundation/streams/ref_counted.h"
#include "foundation/streams/stream.h"

namespace velmora {

class HTTPClient;
class HttpTransport;

// A GET request: the parsed URL, its own headers and the output stream.
class HTTPRequest : public RefCounted {
 public:
  // Sees every header of every response of the job (redirections included)
  // with the response's status code; returning false refuses the response
  // and ends the job with kJobResultErrorHeaderHandlerFailure.
  using HeaderHandler =
      std::function<bool(std::uint32_t status_code, std::string_view name, std::string_view value)>;

  const std::string& Method() const { return method_; }
  // False when the URL was not an http or https URL (the request then has no
  // host and AddJob refuses it).
  bool HasValidUrl() const { return url_valid_; }
  const HttpUrl& Url() const { return url_; }
  Stream* OutputStream() const { return output_.get(); }

  // Adds a header sent with the request. Set it before AddJob.
  void AddHeader(std::string name, std::string value);
  const std::vector<std::pair<std::string, std::string>>& Headers() const { return headers_; }
  void SetHeaderHandler(HeaderHandler handler) { header_handler_ = std::move(handler); }
  const HeaderHandler& GetHeaderHandler() const { return header_handler_; }

 private:
  friend class HTTPClient;
  HTTPRequest() = default;
  ~HTTPRequest() override = default;

  std::string method_ = "GET";
  HttpUrl url_;
  bool url_valid_ = false;
  RefPtr<Stream> output_;
  std::vector<std::pair<std::string, std::string>> headers_;
  HeaderHandler header_handler_;
};

// The status record of one job. Copies share the job's request, and through
// it the output stream: a copy keeps a file stream open until the copy is
// cleared or destroyed.
struct HTTPJobStatus {
  std::uint32_t jobId = 0;
  JobResult result = kJobResultIncomplete;
  void* context = nullptr;
  std::uint32_t statusCode = 0;  // of the final response; 0 when none came
  RefPtr<HTTPRequest> request;

  void Clear() { *this = HTTPJobStatus(); }
};

// (user data, client, event, job status or null, progress or null).
using HTTPEventCallback = void (*)(void* user_data, HTTPClient* client, JobEvent event,
                                   const HTTPJobStatus* status, const HTTPProgress* progress);

class HTTPClient : public RefCounted {
 public:
  static constexpr std::uint32_t kDefaultTimeoutSeconds = 15;

  // Creates a client with no references (add the first one); null when out
  // of memory.
  static HTTPClient* Create();

  // Installs `callback` (null removes it). The previous callback first gets
  // kJobEventCallbackCleared, the new one then kJobEventCallbackSet, both on
  // this thread.
  void SetCallback(HTTPEventCallback callback, void* user_data);

  // Prepares the client (its platform HTTP session) and makes it
  // ready for jobs. Returns false only when the platform's HTTP stack cannot
  // be set up.
  bool Init();

  void SetTimeoutSeconds(std::uint32_t seconds);
  void SetUserAgent(std::string_view agent);

  // Builds a GET request for `url` writing into `output`, and stores it with
  // one reference for the caller in `*request`. Returns false only when
  // `request` is null. A URL that cannot be parsed still gives a request,
  // which AddJob refuses.
  bool CreateRequest(const char* url, Stream* output, HTTPRequest** request);

  // Queues a job for `request`, starting the worker if needed. Returns the
  // job id (1, 2, ... per client), or 0 when the client is not ready, the
  // request is missing or has no method or no host.
  std::uint32_t AddJob(HTTPRequest* request, void* context);

  // Waits until the worker thread has ended (no jobs left). True when it
  // ended within `milliseconds` or none was running; 0 waits without limit.
  bool WaitForJobs(std::uint32_t milliseconds);

  // Every queued job ends with kJobResultErrorCancelled and kJobEventDone on
  // this thread before the call returns. The running job is told to stop and
  // ends with the same result from the worker (no event when the client is
  // shutting down). Does not wait for it.
  void CancelJobs();

  // All bytes read from the network since creation: status lines, headers
  // and bodies.
  std::uint64_t GetBytesReceived() const { return bytes_received_.load(); }

  // Sends kJobEventCallbackCleared and removes the callback, cancels every
  // job, waits for the worker to end, frees the buffers and leaves the
  // client not ready (Init makes it ready again).
  void Shutdown();

 private:
  struct Job;
  class JobRunner;

  HTTPClient() = default;
  ~HTTPClient() override;

  void WorkerMain();
  void RunJob(Job* job);
  void RaiseEvent(JobEvent event, const HTTPJobStatus* status, const HTTPProgress* progress);
  void JoinFinishedWorker(std::unique_lock<std::mutex>& lock);

  // Guards everything below except the callback pair and the byte counter.
  std::mutex mutex_;
  std::condition_variable worker_ended_;
  bool ready_ = false;
  bool shutting_down_ = false;
  std::uint32_t timeout_seconds_ = kDefaultTimeoutSeconds;
  std::string user_agent_ = "Velmora-HTTP/1.0";
  std::uint32_t next_job_id_ = 1;
  std::deque<std::unique_ptr<Job>> queue_;
  Job* running_job_ = nullptr;
  bool worker_running_ = false;
  std::thread worker_;
  std::thread::id worker_id_;
  std::unique_ptr<HttpTransport> transport_;

  // Serialises callback runs; recursive so that a callback may cancel jobs.
  std::recursive_mutex callback_mutex_;
  HTTPEventCallback callback_ = nullptr;
  void* callback_user_data_ = nullptr;

  std::atomic<std::uint64_t> bytes_received_{0};
};

}  // namespace velmora
