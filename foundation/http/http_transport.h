// One HTTP exchange, without redirections: the seam between the job engine
// (http_client.cpp) and the platform's HTTP stack. The build picks one
// implementation: posix/http_transport_curl.cpp or
// win32/http_transport_winhttp.cpp.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/http/http_job.h"
#include "foundation/http/http_url.h"

namespace velmora {

struct TransportRequest {
  HttpUrl url;
  // Every header to send, in order; the engine has already added User-Agent
  // and Host. The transport adds none of its own where the stack allows.
  std::vector<std::pair<std::string, std::string>> headers;
  std::uint32_t timeout_seconds = 15;
};

// Receives the response as it arrives. Returning false stops the exchange.
class TransportSink {
 public:
  virtual ~TransportSink() = default;
  // Each line of the response head without its CR LF: status lines (also of
  // interim 1xx responses), header lines, and an empty line after each head.
  virtual bool OnHeadLine(std::string_view line) = 0;
  // Decoded body bytes of the final response.
  virtual bool OnBodyData(const std::uint8_t* data, std::size_t size) = 0;
};

class HttpTransport {
 public:
  // Null when the platform stack cannot be set up.
  static std::unique_ptr<HttpTransport> Create();
  virtual ~HttpTransport() = default;

  // Performs one GET. Returns kJobResultOK when a whole response was read,
  // kJobResultErrorCancelled when `cancel` became true, or the error code
  // that describes the failure. When the sink stopped the exchange, the
  // returned code is meaningless and the engine uses the sink's own reason.
  virtual JobResult Perform(const TransportRequest& request, TransportSink& sink,
                            const std::atomic<bool>& cancel) = 0;

  // Makes a Perform in progress look at its cancel flag soon. Thread-safe.
  virtual void Wake() = 0;
};

}  // namespace velmora
