#include "foundation/os/net_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>
#include <utility>

namespace velmora::os {
namespace {

SOCKET Sock(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

// Winsock keeps its own count of starts; one start for the process is
// enough and is never undone, since sockets may live until exit.
bool EnsureWinsock() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return started;
}

bool WaitReadable(SOCKET socket, int timeout_ms, bool* timed_out) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  const int rc = ::select(0, &readable, nullptr, nullptr, timeout_ms < 0 ? nullptr : &limit);
  *timed_out = rc == 0;
  return rc > 0;
}

bool FillAddress(const std::string& address, std::uint16_t port, sockaddr_in* out) {
  *out = sockaddr_in{};
  out->sin_family = AF_INET;
  out->sin_port = htons(port);
  return ::inet_pton(AF_INET, address.c_str(), &out->sin_addr) == 1;
}

}  // namespace

TcpSocket::~TcpSocket() { Close(); }

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

bool TcpSocket::Listen(const std::string& address, std::uint16_t port) {
  Close();
  if (!EnsureWinsock()) return false;
  sockaddr_in where;
  if (!FillAddress(address, port, &where)) return false;
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return false;
  if (::bind(socket, reinterpret_cast<sockaddr*>(&where), sizeof(where)) != 0 ||
      ::listen(socket, 64) != 0) {
    ::closesocket(socket);
    return false;
  }
  handle_ = static_cast<std::intptr_t>(socket);
  return true;
}

std::uint16_t TcpSocket::LocalPort() const {
  if (handle_ == -1) return 0;
  sockaddr_in where{};
  int size = sizeof(where);
  if (::getsockname(Sock(handle_), reinterpret_cast<sockaddr*>(&where), &size) != 0) return 0;
  return ntohs(where.sin_port);
}

bool TcpSocket::Accept(TcpSocket* connection, int timeout_ms) {
  if (handle_ == -1 || !connection) return false;
  bool timed_out = false;
  if (!WaitReadable(Sock(handle_), timeout_ms, &timed_out)) return false;
  const SOCKET accepted = ::accept(Sock(handle_), nullptr, nullptr);
  if (accepted == INVALID_SOCKET) return false;
  connection->Close();
  connection->handle_ = static_cast<std::intptr_t>(accepted);
  return true;
}

bool TcpSocket::Connect(const std::string& address, std::uint16_t port) {
  Close();
  if (!EnsureWinsock()) return false;
  sockaddr_in where;
  if (!FillAddress(address, port, &where)) return false;
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return false;
  if (::connect(socket, reinterpret_cast<sockaddr*>(&where), sizeof(where)) != 0) {
    ::closesocket(socket);
    return false;
  }
  handle_ = static_cast<std::intptr_t>(socket);
  return true;
}

long TcpSocket::Receive(void* buffer, std::size_t size, int timeout_ms) {
  if (handle_ == -1) return kError;
  bool timed_out = false;
  if (!WaitReadable(Sock(handle_), timeout_ms, &timed_out)) return timed_out ? kTimedOut : kError;
  const int chunk = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
  const int got = ::recv(Sock(handle_), static_cast<char*>(buffer), chunk, 0);
  if (got == SOCKET_ERROR) return kError;
  return got;
}

bool TcpSocket::SendAll(const void* data, std::size_t size) {
  if (handle_ == -1) return false;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const int chunk = size > 0x10000000 ? 0x10000000 : static_cast<int>(size);
    const int sent = ::send(Sock(handle_), bytes, chunk, 0);
    if (sent == SOCKET_ERROR || sent == 0) return false;
    bytes += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

void TcpSocket::ShutdownSend() {
  if (handle_ != -1) ::shutdown(Sock(handle_), SD_SEND);
}

void TcpSocket::Close() {
  if (handle_ != -1) ::closesocket(Sock(handle_));
  handle_ = -1;
}

void TcpSocket::Reset() {
  if (handle_ == -1) return;
  linger hard{1, 0};
  ::setsockopt(Sock(handle_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
               sizeof(hard));
  Close();
}

}  // namespace velmora::os
