// One HTTP exchange carried by libcurl, driven through a multi handle so
// that a cancellation wakes the worker at once instead of at the next
// network event.
#include <curl/curl.h>

#include <mutex>

#include "foundation/http/http_transport.h"

namespace velmora {
namespace {

JobResult MapCurlResult(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return kJobResultOK;
    case CURLE_URL_MALFORMAT:
    case CURLE_NOT_BUILT_IN:
      return kJobResultErrorBadRequest;
    case CURLE_COULDNT_RESOLVE_HOST:
      return kJobResultErrorAddressLookup;
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_USE_SSL_FAILED:
      return kJobResultErrorConnectionFailure;
    case CURLE_OPERATION_TIMEDOUT:
      return kJobResultErrorTimeout;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return kJobResultErrorConnectionLost;
    // The scheme is always http or https here, so an unsupported protocol
    // can only mean a reply that is not HTTP (libcurl refuses HTTP/0.9).
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_RANGE_ERROR:
    case CURLE_TOO_MANY_REDIRECTS:
      return kJobResultErrorBadFormat;
    case CURLE_WRITE_ERROR:
      return kJobResultErrorOutputStreamFailure;
    case CURLE_ABORTED_BY_CALLBACK:
      return kJobResultErrorCancelled;
    default:
      return kJobResultErrorSocket;
  }
}

std::string_view WithoutLineEnd(const char* data, std::size_t size) {
  std::string_view line(data, size);
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

size_t OnCurlHeader(char* data, size_t size, size_t count, void* user) {
  const std::size_t bytes = size * count;
  auto* sink = static_cast<TransportSink*>(user);
  return sink->OnHeadLine(WithoutLineEnd(data, bytes)) ? bytes : 0;
}

size_t OnCurlBody(char* data, size_t size, size_t count, void* user) {
  const std::size_t bytes = size * count;
  auto* sink = static_cast<TransportSink*>(user);
  return sink->OnBodyData(reinterpret_cast<const std::uint8_t*>(data), bytes) ? bytes : 0;
}

class CurlTransport final : public HttpTransport {
 public:
  CurlTransport(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {}
  ~CurlTransport() override {
    curl_easy_cleanup(easy_);
    curl_multi_cleanup(multi_);
  }

  JobResult Perform(const TransportRequest& request, TransportSink& sink,
                    const std::atomic<bool>& cancel) override {
    curl_easy_reset(easy_);
    // The request target goes on the request line exactly as given; the URL
    // only tells libcurl where to connect.
    const std::string origin = request.url.scheme + "://" + request.url.HostHeaderValue() + "/";
    curl_slist* headers = nullptr;
    for (const auto& [name, value] : request.headers) {
      // "Name;" is libcurl's way to send a header with an empty value.
      const std::string line = value.empty() ? name + ";" : name + ": " + value;
      curl_slist* grown = curl_slist_append(headers, line.c_str());
      if (!grown) {
        curl_slist_free_all(headers);
        return kJobResultErrorSocket;
      }
      headers = grown;
    }
    // libcurl would add "Accept: */*" of its own; the engine adds nothing
    // beyond User-Agent and Host.
    if (curl_slist* grown = curl_slist_append(headers, "Accept:")) headers = grown;

    const long timeout = static_cast<long>(request.timeout_seconds);
    curl_easy_setopt(easy_, CURLOPT_URL, origin.c_str());
    curl_easy_setopt(easy_, CURLOPT_REQUEST_TARGET, request.url.path_and_query.c_str());
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy_, CURLOPT_PROXY, "");
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT, timeout);
    // No byte for `timeout` seconds, whether waiting for the reply or inside
    // the body, ends the transfer as timed out.
    curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_TIME, timeout);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &OnCurlHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, &sink);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &OnCurlBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &sink);

    JobResult result = kJobResultOK;
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
      curl_slist_free_all(headers);
      return kJobResultErrorSocket;
    }
    bool cancelled = false;
    for (;;) {
      int running = 0;
      if (curl_multi_perform(multi_, &running) != CURLM_OK) {
        result = kJobResultErrorSocket;
        break;
      }
      if (running == 0) break;
      if (cancel.load()) {
        cancelled = true;
        break;
      }
      if (curl_multi_poll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK) {
        result = kJobResultErrorSocket;
        break;
      }
      if (cancel.load()) {
        cancelled = true;
        break;
      }
    }
    if (result == kJobResultOK && !cancelled) {
      int left = 0;
      bool finished = false;
      while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
          result = MapCurlResult(message->data.result);
          finished = true;
        }
      }
      if (!finished) result = kJobResultErrorSocket;
    }
    // Taking the handle out in the middle of a transfer closes its
    // connection, so a cancelled response never leaks into the next job.
    curl_multi_remove_handle(multi_, easy_);
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return cancelled ? kJobResultErrorCancelled : result;
  }

  void Wake() override { curl_multi_wakeup(multi_); }

 private:
  CURLM* multi_;
  CURL* easy_;
};

}  // namespace

std::unique_ptr<HttpTransport> HttpTransport::Create() {
  static std::once_flag global_init;
  static bool global_ready = false;
  std::call_once(global_init, [] { global_ready = curl_global_init(CURL_GLOBAL_DEFAULT) == 0; });
  if (!global_ready) return nullptr;
  CURLM* multi = curl_multi_init();
  CURL* easy = curl_easy_init();
  if (!multi || !easy) {
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    return nullptr;
  }
  return std::make_unique<CurlTransport>(multi, easy);
}

}  // namespace velmora
