// An HTTP/1.1 server on 127.0.0.1 inside the test process, for tests that
// need exact control over the bytes on the wire: truncated bodies, dropped
// connections, silent peers, malformed heads. It runs on the OS layer's
// plain sockets, so the same server works on both targets.
//
// Handlers are looked up by the request path without its query; a request
// for a path without handler is answered 404 and counted as unexpected, so a
// test can check that no stray request arrived.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/os/net_socket.h"

namespace velmora::testing {

struct RecordedRequest {
  std::string request_line;  // as received, without CR LF
  std::string method;
  std::string target;        // path and query, as sent
  std::string path;          // target without the query
  std::vector<std::pair<std::string, std::string>> headers;

  // The first header of that name (case-insensitive), empty when missing.
  std::string Header(std::string_view name) const;
  int HeaderCount(std::string_view name) const;
};

class LoopbackConnection {
 public:
  LoopbackConnection(os::TcpSocket* socket, const std::atomic<bool>* stopping)
      : socket_(socket), stopping_(stopping) {}
  bool Send(std::string_view bytes) { return socket_->SendAll(bytes.data(), bytes.size()); }
  // Ends the connection after what was sent.
  void Close() { socket_->Close(); }
  // Ends it with a reset.
  void Reset() { socket_->Reset(); }
  // Waits `milliseconds`, or less when the server stops; false then.
  bool Pause(int milliseconds);
  bool IsOpen() const { return socket_->IsOpen(); }

 private:
  os::TcpSocket* socket_;
  const std::atomic<bool>* stopping_;
};

using LoopbackHandler = std::function<void(const RecordedRequest&, LoopbackConnection&)>;

// A complete response with Content-Length (unless the headers name one).
std::string MakeHttpResponse(int status, std::string_view body,
                             const std::vector<std::pair<std::string, std::string>>& headers = {});
// A chunked response carrying `chunks` in that order.
std::string MakeChunkedResponse(int status, const std::vector<std::string>& chunks);

class LoopbackHttpServer {
 public:
  LoopbackHttpServer() = default;
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // Listens on 127.0.0.1 on a free port.
  [[nodiscard]] bool Start();
  void Stop();
  std::uint16_t port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path_and_query`.
  std::string Url(std::string_view path_and_query) const;

  void Handle(const std::string& path, LoopbackHandler handler);
  // Shorthand: always answer with these bytes, then keep the connection.
  void Respond(const std::string& path, std::string raw_response);

  std::vector<RecordedRequest> Requests() const;
  int UnexpectedRequests() const { return unexpected_.load(); }
  int ConnectionCount() const { return connections_.load(); }
  // Connections that opened with a TLS handshake record instead of a
  // request; the server closes them at once.
  int TlsHandshakes() const { return tls_handshakes_.load(); }

 private:
  void AcceptLoop();
  void ServeConnection(std::shared_ptr<os::TcpSocket> socket);

  os::TcpSocket listener_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::map<std::string, LoopbackHandler> handlers_;
  std::vector<RecordedRequest> requests_;
  std::vector<std::thread> connection_threads_;
  std::atomic<int> unexpected_{0};
  std::atomic<int> connections_{0};
  std::atomic<int> tls_handshakes_{0};
};

}  // namespace velmora::testing
