#include "foundation/http/tests/loopback_http_server.h"

#include <charconv>
#include <chrono>

namespace velmora::testing {
namespace {

constexpr int kPollMilliseconds = 50;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

bool ParseRequestHead(const std::string& head, RecordedRequest* request) {
  std::size_t line_end = head.find("\r\n");
  request->request_line = head.substr(0, line_end);
  // The target may hold spaces (the launcher sends names unencoded), so the
  // method ends at the first space and the version starts at the last.
  const std::string& line = request->request_line;
  const std::size_t first = line.find(' ');
  const std::size_t last = line.rfind(' ');
  if (first == std::string::npos || last == first) return false;
  request->method = line.substr(0, first);
  request->target = line.substr(first + 1, last - first - 1);
  request->path = request->target.substr(0, request->target.find('?'));
  std::size_t start = line_end + 2;
  while (start < head.size()) {
    const std::size_t end = head.find("\r\n", start);
    const std::string header = head.substr(start, end - start);
    start = end == std::string::npos ? head.size() : end + 2;
    if (header.empty()) break;
    const std::size_t colon = header.find(':');
    if (colon == std::string::npos) continue;
    std::string value = header.substr(colon + 1);
    while (!value.empty() && value.front() == ' ') value.erase(value.begin());
    request->headers.emplace_back(header.substr(0, colon), value);
  }
  return true;
}

}  // namespace

std::string RecordedRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers)
    if (EqualsNoCase(key, name)) return value;
  return {};
}

int RecordedRequest::HeaderCount(std::string_view name) const {
  int count = 0;
  for (const auto& header : headers)
    if (EqualsNoCase(header.first, name)) ++count;
  return count;
}

bool LoopbackConnection::Pause(int milliseconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < until) {
    if (stopping_->load()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::string MakeHttpResponse(int status, std::string_view body,
                             const std::vector<std::pair<std::string, std::string>>& headers) {
  std::string response =
      "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
  bool has_length = false;
  for (const auto& [name, value] : headers) {
    response += name + ": " + value + "\r\n";
    if (EqualsNoCase(name, "Content-Length")) has_length = true;
  }
  if (!has_length) response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  response += "\r\n";
  response += body;
  return response;
}

std::string MakeChunkedResponse(int status, const std::vector<std::string>& chunks) {
  std::string response = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) +
                         "\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (const auto& chunk : chunks) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof(digits), chunk.size(), 16).ptr;
    response.append(digits, end);
    response += "\r\n";
    response += chunk;
    response += "\r\n";
  }
  response += "0\r\n\r\n";
  return response;
}

LoopbackHttpServer::~LoopbackHttpServer() { Stop(); }

bool LoopbackHttpServer::Start() {
  if (!listener_.Listen("127.0.0.1", 0)) return false;
  port_ = listener_.LocalPort();
  stopping_ = false;
  acceptor_ = std::thread(&LoopbackHttpServer::AcceptLoop, this);
  return port_ != 0;
}

void LoopbackHttpServer::Stop() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    threads.swap(connection_threads_);
  }
  for (auto& thread : threads) thread.join();
  listener_.Close();
}

std::string LoopbackHttpServer::Url(std::string_view path_and_query) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path_and_query);
}

void LoopbackHttpServer::Handle(const std::string& path, LoopbackHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handlers_[path] = std::move(handler);
}

void LoopbackHttpServer::Respond(const std::string& path, std::string raw_response) {
  Handle(path, [raw_response](const RecordedRequest&, LoopbackConnection& connection) {
    connection.Send(raw_response);
  });
}

std::vector<RecordedRequest> LoopbackHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void LoopbackHttpServer::AcceptLoop() {
  while (!stopping_) {
    auto socket = std::make_shared<os::TcpSocket>();
    if (!listener_.Accept(socket.get(), kPollMilliseconds)) continue;
    ++connections_;
    std::lock_guard<std::mutex> lock(mutex_);
    connection_threads_.emplace_back(&LoopbackHttpServer::ServeConnection, this, socket);
  }
}

void LoopbackHttpServer::ServeConnection(std::shared_ptr<os::TcpSocket> socket) {
  std::string pending;
  char buffer[4096];
  while (!stopping_ && socket->IsOpen()) {
    const std::size_t head_end = pending.find("\r\n\r\n");
    if (head_end == std::string::npos) {
      const long got = socket->Receive(buffer, sizeof(buffer), kPollMilliseconds);
      if (got == os::TcpSocket::kTimedOut) continue;
      if (got <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(got));
      // 0x16 opens a TLS handshake record: a client speaking https here.
      if (pending.front() == '\x16') {
        ++tls_handshakes_;
        break;
      }
      continue;
    }
    RecordedRequest request;
    const std::string head = pending.substr(0, head_end + 4);
    pending.erase(0, head_end + 4);
    if (!ParseRequestHead(head, &request)) break;
    LoopbackHandler handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
      const auto found = handlers_.find(request.path);
      if (found != handlers_.end()) handler = found->second;
    }
    LoopbackConnection connection(socket.get(), &stopping_);
    if (handler) {
      handler(request, connection);
    } else {
      ++unexpected_;
      connection.Send(MakeHttpResponse(404, "no handler"));
    }
  }
  socket->Close();
}

}  // namespace velmora::testing
