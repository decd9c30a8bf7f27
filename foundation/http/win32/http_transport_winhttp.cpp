// One HTTP exchange carried by WinHTTP in asynchronous mode: every step
// (send, response head, each read) completes through the status callback,
// so the worker can give up a step at once when its job is cancelled, by
// closing the request handle, instead of sitting in a blocking call until
// the network timeout.
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/http/http_transport.h"
#include "foundation/text/utf.h"

namespace velmora {
namespace {

constexpr DWORD kReadBlock = 16 * 1024;
constexpr auto kPollSlice = std::chrono::milliseconds(50);

JobResult MapWinHttpError(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return kJobResultErrorAddressLookup;
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
      return kJobResultErrorConnectionFailure;
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:
      return kJobResultErrorTimeout;
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_RESEND_REQUEST:
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENETRESET:
    case ERROR_NETNAME_DELETED:
      return kJobResultErrorConnectionLost;
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
    case ERROR_WINHTTP_HEADER_NOT_FOUND:
    case ERROR_WINHTTP_REDIRECT_FAILED:
      return kJobResultErrorBadFormat;
    case ERROR_WINHTTP_OPERATION_CANCELLED:
      return kJobResultErrorCancelled;
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
    case ERROR_INVALID_PARAMETER:
      return kJobResultErrorBadRequest;
    default:
      return kJobResultErrorSocket;
  }
}

// Shared between the worker and WinHTTP's callback threads for one request.
// WinHTTP may still call back, or finish a read into `buffer`, after the
// worker has closed the handle, so the state is counted: one reference for
// the worker and one that the request's last callback (HANDLE_CLOSING)
// gives back.
struct RequestState {
  std::mutex mutex;
  std::condition_variable changed;
  bool step_done = false;
  DWORD error = 0;
  DWORD bytes = 0;  // READ_COMPLETE: bytes read; DATA_AVAILABLE: bytes ready
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kReadBlock);
  std::atomic<int> references{2};

  void Release() {
    if (references.fetch_sub(1) == 1) delete this;
  }
};

void CALLBACK OnWinHttpStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                              DWORD length) {
  auto* state = reinterpret_cast<RequestState*>(context);
  if (!state) return;
  if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
    state->Release();
    return;
  }
  std::lock_guard<std::mutex> lock(state->mutex);
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      state->step_done = true;
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      state->bytes = info ? *static_cast<DWORD*>(info) : 0;
      state->step_done = true;
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      state->bytes = length;
      state->step_done = true;
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      state->error = info ? static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError
                          : static_cast<DWORD>(ERROR_WINHTTP_INTERNAL_ERROR);
      if (state->error == 0) state->error = ERROR_WINHTTP_INTERNAL_ERROR;
      state->step_done = true;
      break;
    default:
      return;
  }
  state->changed.notify_all();
}

class WinHttpTransport final : public HttpTransport {
 public:
  explicit WinHttpTransport(HINTERNET session) : session_(session) {}
  ~WinHttpTransport() override { ::WinHttpCloseHandle(session_); }

  JobResult Perform(const TransportRequest& request, TransportSink& sink,
                    const std::atomic<bool>& cancel) override;

  void Wake() override {
    std::lock_guard<std::mutex> lock(current_mutex_);
    if (current_) {
      std::lock_guard<std::mutex> state_lock(current_->mutex);
      current_->changed.notify_all();
    }
  }

 private:
  enum class Wait { kDone, kCancelled, kTimedOut };
  static Wait WaitForStep(RequestState* state, const std::atomic<bool>& cancel,
                          std::chrono::seconds limit);
  void SetCurrent(RequestState* state) {
    std::lock_guard<std::mutex> lock(current_mutex_);
    current_ = state;
  }

  HINTERNET session_;
  std::mutex current_mutex_;
  RequestState* current_ = nullptr;
};

WinHttpTransport::Wait WinHttpTransport::WaitForStep(RequestState* state,
                                                     const std::atomic<bool>& cancel,
                                                     std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::unique_lock<std::mutex> lock(state->mutex);
  while (!state->step_done) {
    if (cancel.load()) return Wait::kCancelled;
    if (std::chrono::steady_clock::now() >= deadline) return Wait::kTimedOut;
    state->changed.wait_for(lock, kPollSlice);
  }
  state->step_done = false;
  return Wait::kDone;
}

JobResult WinHttpTransport::Perform(const TransportRequest& request, TransportSink& sink,
                                    const std::atomic<bool>& cancel) {
  const std::u16string host = Utf8ToUtf16(request.url.HostForConnect());
  const std::u16string target = Utf8ToUtf16(request.url.path_and_query);
  HINTERNET connection = ::WinHttpConnect(session_, reinterpret_cast<LPCWSTR>(host.c_str()),
                                          request.url.port, 0);
  if (!connection) return MapWinHttpError(::GetLastError());

  // The target is sent as given: WinHTTP must not escape anything in it.
  DWORD flags = WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY;
  if (request.url.IsSecure()) flags |= WINHTTP_FLAG_SECURE;
  HINTERNET handle = ::WinHttpOpenRequest(connection, L"GET",
                                          reinterpret_cast<LPCWSTR>(target.c_str()), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
  if (!handle) {
    const DWORD error = ::GetLastError();
    ::WinHttpCloseHandle(connection);
    return MapWinHttpError(error);
  }

  auto* state = new RequestState();
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(state);
  ::WinHttpSetOption(handle, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context));
  // The engine follows redirections itself, by its own rules.
  DWORD features = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
  ::WinHttpSetOption(handle, WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof(features));
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  ::WinHttpSetOption(handle, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
  const int timeout_ms = static_cast<int>(request.timeout_seconds) * 1000;
  ::WinHttpSetTimeouts(handle, timeout_ms, timeout_ms, timeout_ms, timeout_ms);
  // Waiting for the response head has a limit of its own (90 s by default).
  DWORD head_timeout = static_cast<DWORD>(timeout_ms);
  ::WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &head_timeout,
                     sizeof(head_timeout));
  // Our own limit per step is a little longer, so that WinHTTP's timeout
  // normally reports first; it only guards against a callback that never comes.
  const auto step_limit = std::chrono::seconds(request.timeout_seconds + 2);

  std::u16string header_block;
  for (const auto& [name, value] : request.headers)
    header_block += Utf8ToUtf16(name + ": " + value + "\r\n");
  SetCurrent(state);

  JobResult result = kJobResultOK;
  auto fail_with_last_error = [&result] { result = MapWinHttpError(::GetLastError()); };
  auto wait_step = [&]() -> bool {
    switch (WaitForStep(state, cancel, step_limit)) {
      case Wait::kCancelled:
        result = kJobResultErrorCancelled;
        return false;
      case Wait::kTimedOut:
        result = kJobResultErrorTimeout;
        return false;
      case Wait::kDone:
        break;
    }
    std::lock_guard<std::mutex> lock(state->mutex);
    if (state->error != 0) {
      result = MapWinHttpError(state->error);
      return false;
    }
    return true;
  };

  bool ok = true;
  if (!header_block.empty() &&
      !::WinHttpAddRequestHeaders(handle, reinterpret_cast<LPCWSTR>(header_block.c_str()),
                                  static_cast<DWORD>(-1),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
    fail_with_last_error();
    ok = false;
  }
  if (ok && !::WinHttpSendRequest(handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                  WINHTTP_NO_REQUEST_DATA, 0, 0, context)) {
    fail_with_last_error();
    ok = false;
  }
  ok = ok && wait_step();
  if (ok && !::WinHttpReceiveResponse(handle, nullptr)) {
    fail_with_last_error();
    ok = false;
  }
  ok = ok && wait_step();

  if (ok) {
    DWORD size = 0;
    ::WinHttpQueryHeaders(handle, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                          nullptr, &size, WINHTTP_NO_HEADER_INDEX);
    std::u16string raw(size / sizeof(char16_t) + 1, u'\0');
    if (size == 0 ||
        !::WinHttpQueryHeaders(handle, WINHTTP_QUERY_RAW_HEADERS_CRLF,
                               WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &size,
                               WINHTTP_NO_HEADER_INDEX)) {
      result = kJobResultErrorBadFormat;
      ok = false;
    } else {
      raw.resize(size / sizeof(char16_t));
      const std::string head = Utf16ToUtf8(raw);
      std::size_t start = 0;
      for (;;) {
        const std::size_t end = head.find("\r\n", start);
        const std::string_view line =
            std::string_view(head).substr(start, end == std::string::npos ? end : end - start);
        if (!sink.OnHeadLine(line)) {
          ok = false;
          break;
        }
        if (line.empty() || end == std::string::npos) {
          if (!line.empty() && !sink.OnHeadLine("")) ok = false;
          break;
        }
        start = end + 2;
      }
    }
  }

  // Ask what is ready, then read exactly that: a read larger than what has
  // arrived may wait for more data inside WinHTTP, where a cancellation
  // cannot reach it.
  while (ok) {
    if (cancel.load()) {
      result = kJobResultErrorCancelled;
      break;
    }
    if (!::WinHttpQueryDataAvailable(handle, nullptr)) {
      fail_with_last_error();
      break;
    }
    if (!wait_step()) break;
    DWORD available;
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      available = state->bytes;
    }
    if (available == 0) break;  // the end of the body
    const DWORD wanted = available < kReadBlock ? available : kReadBlock;
    if (!::WinHttpReadData(handle, state->buffer.data(), wanted, nullptr)) {
      fail_with_last_error();
      break;
    }
    if (!wait_step()) break;
    DWORD got;
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      got = state->bytes;
    }
    if (got == 0) break;
    if (!sink.OnBodyData(state->buffer.data(), got)) break;
  }

  SetCurrent(nullptr);
  // Closing ends whatever WinHTTP still has pending for this request; the
  // state stays alive until its last callback.
  ::WinHttpCloseHandle(handle);
  ::WinHttpCloseHandle(connection);
  state->Release();
  return result;
}

}  // namespace

std::unique_ptr<HttpTransport> HttpTransport::Create() {
  // No proxy, and no agent text of WinHTTP's own: the engine sends its own
  // User-Agent header with every request.
  HINTERNET session = ::WinHttpOpen(L"", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  if (!session) return nullptr;
  if (::WinHttpSetStatusCallback(session, &OnWinHttpStatus,
                                 WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0) ==
      WINHTTP_INVALID_STATUS_CALLBACK) {
    ::WinHttpCloseHandle(session);
    return nullptr;
  }
  return std::make_unique<WinHttpTransport>(session);
}

}  // namespace velmora
