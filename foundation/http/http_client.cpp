#include "foundation/http/http_client.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "foundation/http/http_transport.h"
#include "foundation/text/utf.h"

namespace velmora {
namespace {

constexpr int kMaxRedirections = 5;
constexpr std::uint64_t kProgressMinimumSize = 2048;
constexpr std::uint64_t kProgressStepPercent = 5;
constexpr std::uint64_t kUnknownLengthPercent = 50;

bool IsRedirectionToFollow(std::uint32_t status) {
  return status == 301 || status == 302 || status == 303;
}

bool HasHeader(const std::vector<std::pair<std::string, std::string>>& headers,
               std::string_view name) {
  return std::any_of(headers.begin(), headers.end(),
                     [&](const auto& header) { return EqualsIgnoreAsciiCase(header.first, name); });
}

bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto unit = static_cast<unsigned char>(c);
    return unit < 0x20 || unit == 0x7f;
  });
}

// The request target is sent as it stands (spaces included, as the backend
// queries require), but a control character could end the request line and
// smuggle headers in, so such a request is refused.
bool CanBeSent(const TransportRequest& request) {
  if (HasControlCharacter(request.url.path_and_query)) return false;
  for (const auto& [name, value] : request.headers) {
    if (name.empty() || HasControlCharacter(name) || name.find(':') != std::string::npos)
      return false;
    if (HasControlCharacter(value)) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

bool ParseStatusLine(std::string_view line, std::uint32_t* status) {
  if (line.substr(0, 5) != "HTTP/") return false;
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos || line.size() < space + 4) return false;
  std::uint32_t value = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
    value = value * 10 + static_cast<std::uint32_t>(line[i] - '0');
  }
  if (line.size() > space + 4 && line[space + 4] != ' ') return false;
  if (value < 100) return false;
  *status = value;
  return true;
}

bool ParseLength(std::string_view text, std::uint64_t* length) {
  if (text.empty() || text.size() > 18) return false;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  *length = value;
  return true;
}

std::uint64_t ProgressPercent(std::uint64_t received, std::uint64_t expected) {
  if (expected == kHTTPUnknownLength) return kUnknownLengthPercent;
  if (expected == 0 || received >= expected) return 100;
  // Avoids overflow of received * 100 for sizes beyond 2^57 bytes.
  if (received > UINT64_MAX / 100) return received / (expected / 100);
  return received * 100 / expected;
}

}  // namespace

const char* JobResultName(JobResult result) {
  static constexpr const char* kNames[] = {
      "kJobResultOK",
      "kJobResultIncomplete",
      "kJobResultErrorSocket",
      "kJobResultErrorBadRequest",
      "kJobResultErrorAddressLookup",
      "kJobResultErrorConnectionFailure",
      "kJobResultErrorTimeout",
      "kJobResultErrorConnectionLost",
      "kJobResultErrorCancelled",
      "kJobResultErrorServerError",
      "kJobResultErrorNeedAuthorization",
      "kJobResultErrorOutputStreamFailure",
      "kJobResultErrorInputStreamFailure",
      "kJobResultErrorBadFormat",
      "kJobResultErrorHeaderHandlerFailure",
  };
  return result < std::size(kNames) ? kNames[result] : nullptr;
}

void HTTPRequest::AddHeader(std::string name, std::string value) {
  headers_.emplace_back(std::move(name), std::move(value));
}

struct HTTPClient::Job {
  HTTPJobStatus status;
  std::atomic<bool> cancel{false};
  std::uint64_t last_progress_percent = 0;
};

// Reads one response of a job: parses the head, writes the body into the
// request's stream, counts the bytes and raises progress events.
class HTTPClient::JobRunner final : public TransportSink {
 public:
  JobRunner(HTTPClient* client, Job* job, bool may_follow_redirection)
      : client_(client), job_(job), may_follow_(may_follow_redirection) {}

  bool OnHeadLine(std::string_view line) override {
    client_->bytes_received_ += line.size() + 2;
    if (head_done_) return true;  // trailers of a chunked body
    if (expect_status_line_) {
      if (!ParseStatusLine(line, &status_code_)) return Fail(kJobResultErrorBadFormat);
      expect_status_line_ = false;
      location_.clear();
      has_location_ = false;
      has_length_ = false;
      chunked_ = false;
      return true;
    }
    if (line.empty()) {
      if (status_code_ < 200) {  // an interim response; the real one follows
        expect_status_line_ = true;
        return true;
      }
      head_done_ = true;
      expected_ = (chunked_ || !has_length_) ? kHTTPUnknownLength : content_length_;
      discard_body_ = may_follow_ && IsRedirectionToFollow(status_code_) && has_location_;
      return true;
    }
    if (line.front() == ' ' || line.front() == '\t') return true;  // folded continuation
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return Fail(kJobResultErrorBadFormat);
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (EqualsIgnoreAsciiCase(name, "Location")) {
      location_ = std::string(value);
      has_location_ = true;
    } else if (EqualsIgnoreAsciiCase(name, "Content-Length")) {
      if (!ParseLength(value, &content_length_)) return Fail(kJobResultErrorBadFormat);
      has_length_ = true;
    } else if (EqualsIgnoreAsciiCase(name, "Transfer-Encoding")) {
      std::string lower(value);
      for (char& c : lower) c = ToLowerAscii(c);
      if (lower.find("chunked") != std::string::npos) chunked_ = true;
    }
    const auto& handler = job_->status.request->GetHeaderHandler();
    if (handler && !handler(status_code_, name, value))
      return Fail(kJobResultErrorHeaderHandlerFailure);
    return true;
  }

  bool OnBodyData(const std::uint8_t* data, std::size_t size) override {
    client_->bytes_received_ += size;
    if (!head_done_) return Fail(kJobResultErrorBadFormat);
    received_ += size;
    if (discard_body_ || size == 0) return true;
    Stream* stream = job_->status.request->OutputStream();
    if (!stream || !stream->Write(data, size)) return Fail(kJobResultErrorOutputStreamFailure);
    const std::uint64_t percent = ProgressPercent(received_, expected_);
    if (expected_ >= kProgressMinimumSize &&
        percent >= job_->last_progress_percent + kProgressStepPercent) {
      job_->last_progress_percent = percent;
      const HTTPProgress progress{received_, expected_, percent};
      client_->RaiseEvent(kJobEventProgress, &job_->status, &progress);
    }
    return true;
  }

  JobResult failure() const { return failure_; }
  bool head_done() const { return head_done_; }
  bool body_complete() const { return expected_ == kHTTPUnknownLength || received_ >= expected_; }
  std::uint32_t status_code() const { return head_done_ ? status_code_ : 0; }
  bool has_location() const { return has_location_; }
  const std::string& location() const { return location_; }

 private:
  bool Fail(JobResult result) {
    failure_ = result;
    return false;
  }

  HTTPClient* client_;
  Job* job_;
  bool may_follow_;
  JobResult failure_ = kJobResultOK;
  bool expect_status_line_ = true;
  bool head_done_ = false;
  bool discard_body_ = false;
  std::uint32_t status_code_ = 0;
  std::string location_;
  bool has_location_ = false;
  bool has_length_ = false;
  bool chunked_ = false;
  std::uint64_t content_length_ = 0;
  std::uint64_t expected_ = kHTTPUnknownLength;
  std::uint64_t received_ = 0;
};

HTTPClient* HTTPClient::Create() { return new (std::nothrow) HTTPClient(); }

HTTPClient::~HTTPClient() {
  Shutdown();
  // Only reached with a live worker when the last reference went away on the
  // worker itself; it cannot wait for itself.
  if (worker_.joinable()) worker_.detach();
}

void HTTPClient::SetCallback(HTTPEventCallback callback, void* user_data) {
  std::lock_guard<std::recursive_mutex> guard(callback_mutex_);
  if (callback_) callback_(callback_user_data_, this, kJobEventCallbackCleared, nullptr, nullptr);
  callback_ = callback;
  callback_user_data_ = callback ? user_data : nullptr;
  if (callback_) callback_(callback_user_data_, this, kJobEventCallbackSet, nullptr, nullptr);
}

bool HTTPClient::Init() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!transport_) transport_ = HttpTransport::Create();
  if (!transport_) return false;
  ready_ = true;
  shutting_down_ = false;
  return true;
}

void HTTPClient::SetTimeoutSeconds(std::uint32_t seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  timeout_seconds_ = seconds == 0 ? kDefaultTimeoutSeconds : seconds;
}

void HTTPClient::SetUserAgent(std::string_view agent) {
  std::lock_guard<std::mutex> lock(mutex_);
  user_agent_ = std::string(agent);
}

bool HTTPClient::CreateRequest(const char* url, Stream* output, HTTPRequest** request) {
  if (!request) return false;
  auto* created = new (std::nothrow) HTTPRequest();
  if (!created) {
    *request = nullptr;
    return false;
  }
  created->url_valid_ = url && ParseHttpUrl(url, &created->url_);
  created->output_ = output;
  created->AddRef();
  *request = created;
  return true;
}

void HTTPClient::JoinFinishedWorker(std::unique_lock<std::mutex>&) {
  // The previous worker has already marked itself ended and only returns.
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
  if (worker_.joinable()) worker_.detach();
}

std::uint32_t HTTPClient::AddJob(HTTPRequest* request, void* context) {
  if (!request || request->Method().empty() || !request->HasValidUrl() ||
      request->Url().host.empty())
    return 0;
  auto job = std::unique_ptr<Job>(new (std::nothrow) Job());
  if (!job) return 0;
  std::unique_lock<std::mutex> lock(mutex_);
  if (!ready_ || shutting_down_) return 0;
  const std::uint32_t id = next_job_id_++;
  if (next_job_id_ == 0) next_job_id_ = 1;
  job->status.jobId = id;
  job->status.result = kJobResultIncomplete;
  job->status.context = context;
  job->status.request = request;
  queue_.push_back(std::move(job));
  if (!worker_running_) {
    JoinFinishedWorker(lock);
    try {
      worker_ = std::thread(&HTTPClient::WorkerMain, this);
    } catch (const std::system_error&) {
      queue_.pop_back();
      return 0;
    }
    worker_id_ = worker_.get_id();
    worker_running_ = true;
  }
  return id;
}

bool HTTPClient::WaitForJobs(std::uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!worker_running_) return true;
  if (std::this_thread::get_id() == worker_id_) return false;  // it would wait for itself
  const auto ended = [this] { return !worker_running_; };
  if (milliseconds == 0) {
    worker_ended_.wait(lock, ended);
    return true;
  }
  return worker_ended_.wait_for(lock, std::chrono::milliseconds(milliseconds), ended);
}

void HTTPClient::CancelJobs() {
  std::deque<std::unique_ptr<Job>> cancelled;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled.swap(queue_);
    if (running_job_) {
      running_job_->cancel = true;
      if (transport_) transport_->Wake();
    }
  }
  for (auto& job : cancelled) {
    job->status.result = kJobResultErrorCancelled;
    RaiseEvent(kJobEventDone, &job->status, nullptr);
  }
}

void HTTPClient::Shutdown() {
  SetCallback(nullptr, nullptr);
  std::deque<std::unique_ptr<Job>> dropped;
  std::thread worker;
  bool on_worker = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutting_down_ = true;
    ready_ = false;
    dropped.swap(queue_);
    if (running_job_) {
      running_job_->cancel = true;
      if (transport_) transport_->Wake();
    }
    on_worker = worker_.joinable() && worker_id_ == std::this_thread::get_id();
    if (worker_.joinable() && !on_worker) worker = std::move(worker_);
  }
  // No callback is installed any more, so the dropped jobs raise nothing.
  dropped.clear();
  if (worker.joinable()) worker.join();
  if (on_worker) return;  // the transport is still in use below this call
  std::lock_guard<std::mutex> lock(mutex_);
  transport_.reset();
}

void HTTPClient::RaiseEvent(JobEvent event, const HTTPJobStatus* status,
                            const HTTPProgress* progress) {
  std::lock_guard<std::recursive_mutex> guard(callback_mutex_);
  if (callback_) callback_(callback_user_data_, this, event, status, progress);
}

void HTTPClient::WorkerMain() {
  for (;;) {
    std::unique_ptr<Job> job;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty() || shutting_down_) {
        running_job_ = nullptr;
        worker_running_ = false;
        worker_ended_.notify_all();
        return;
      }
      job = std::move(queue_.front());
      queue_.pop_front();
      running_job_ = job.get();
    }
    RunJob(job.get());
    bool raise_done;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      running_job_ = nullptr;
      raise_done = !shutting_down_;
    }
    if (raise_done) RaiseEvent(kJobEventDone, &job->status, nullptr);
  }
}

void HTTPClient::RunJob(Job* job) {
  HTTPJobStatus& status = job->status;
  HTTPRequest* request = status.request.get();
  TransportRequest exchange;
  HttpTransport* transport;
  std::string agent;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    exchange.timeout_seconds = timeout_seconds_;
    agent = user_agent_;
    transport = transport_.get();
  }
  HttpUrl url = request->Url();
  for (int redirections = 0;; ++redirections) {
    if (job->cancel) {
      status.result = kJobResultErrorCancelled;
      return;
    }
    exchange.url = url;
    exchange.headers = request->Headers();
    if (!HasHeader(exchange.headers, "User-Agent")) exchange.headers.emplace_back("User-Agent", agent);
    if (!HasHeader(exchange.headers, "Host"))
      exchange.headers.emplace_back("Host", url.HostHeaderValue());
    if (!transport || !CanBeSent(exchange)) {
      status.result = kJobResultErrorBadRequest;
      return;
    }

    JobRunner response(this, job, redirections < kMaxRedirections);
    const JobResult outcome = transport->Perform(exchange, response, job->cancel);
    status.statusCode = response.status_code();
    if (response.failure() != kJobResultOK) {
      status.result = response.failure();
      return;
    }
    if (outcome != kJobResultOK) {
      status.result = outcome;
      return;
    }
    if (!response.head_done()) {
      status.result = kJobResultErrorBadFormat;
      return;
    }
    if (!response.body_complete()) {
      status.result = kJobResultErrorConnectionLost;
      return;
    }

    const std::uint32_t code = status.statusCode;
    if (IsRedirectionToFollow(code) && response.has_location() &&
        redirections < kMaxRedirections) {
      HttpUrl next;
      if (!ResolveHttpLocation(url, response.location(), &next)) {
        status.result = kJobResultErrorServerError;
        return;
      }
      Stream* stream = request->OutputStream();
      if (stream && !stream->RewindAndTruncate()) {
        status.result = kJobResultErrorOutputStreamFailure;
        return;
      }
      url = std::move(next);
      continue;
    }
    if (code >= 200 && code <= 299)
      status.result = kJobResultOK;
    else if (code == 401)
      status.result = kJobResultErrorNeedAuthorization;
    else
      status.result = kJobResultErrorServerError;
    return;
  }
}

}  // namespace velmora
