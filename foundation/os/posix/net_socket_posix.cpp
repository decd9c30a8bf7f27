#include "foundation/os/net_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace velmora::os {
namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

bool WaitReadable(int fd, int timeout_ms, bool* timed_out) {
  pollfd entry{fd, POLLIN, 0};
  for (;;) {
    const int rc = ::poll(&entry, 1, timeout_ms < 0 ? -1 : timeout_ms);
    if (rc < 0 && errno == EINTR) continue;
    *timed_out = rc == 0;
    return rc > 0;
  }
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
  sockaddr_in where;
  if (!FillAddress(address, port, &where)) return false;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof(where)) != 0 ||
      ::listen(fd, 64) != 0) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

std::uint16_t TcpSocket::LocalPort() const {
  if (handle_ == -1) return 0;
  sockaddr_in where{};
  socklen_t size = sizeof(where);
  if (::getsockname(Fd(handle_), reinterpret_cast<sockaddr*>(&where), &size) != 0) return 0;
  return ntohs(where.sin_port);
}

bool TcpSocket::Accept(TcpSocket* connection, int timeout_ms) {
  if (handle_ == -1 || !connection) return false;
  bool timed_out = false;
  if (!WaitReadable(Fd(handle_), timeout_ms, &timed_out)) return false;
  int fd;
  do {
    fd = ::accept4(Fd(handle_), nullptr, nullptr, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  connection->Close();
  connection->handle_ = fd;
  return true;
}

bool TcpSocket::Connect(const std::string& address, std::uint16_t port) {
  Close();
  sockaddr_in where;
  if (!FillAddress(address, port, &where)) return false;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof(where));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

long TcpSocket::Receive(void* buffer, std::size_t size, int timeout_ms) {
  if (handle_ == -1) return kError;
  bool timed_out = false;
  if (!WaitReadable(Fd(handle_), timeout_ms, &timed_out)) return timed_out ? kTimedOut : kError;
  for (;;) {
    const ssize_t got = ::recv(Fd(handle_), buffer, size, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return kError;
    return static_cast<long>(got);
  }
}

bool TcpSocket::SendAll(const void* data, std::size_t size) {
  if (handle_ == -1) return false;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t sent = ::send(Fd(handle_), bytes, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

void TcpSocket::ShutdownSend() {
  if (handle_ != -1) ::shutdown(Fd(handle_), SHUT_WR);
}

void TcpSocket::Close() {
  if (handle_ != -1) ::close(Fd(handle_));
  handle_ = -1;
}

void TcpSocket::Reset() {
  if (handle_ == -1) return;
  linger hard{1, 0};
  ::setsockopt(Fd(handle_), SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
  Close();
}

}  // namespace velmora::os
