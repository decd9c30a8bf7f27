#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "orvwebkit/platform/platform.h"

namespace velmora::orvwebkit::platform {
namespace {

int PollTimeout(std::chrono::milliseconds timeout) {
  return timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
}

class PosixSocket final : public Socket {
 public:
  explicit PosixSocket(int fd) : fd_(fd) {
    int one = 1;
    // Protocol messages are small and latency matters more than batching.
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  ~PosixSocket() override { ::close(fd_); }

  bool SendAll(const void* data, std::size_t size) override {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
      // MSG_NOSIGNAL: a peer that went away must be an error, not SIGPIPE.
      const ssize_t sent = ::send(fd_, bytes, size, MSG_NOSIGNAL);
      if (sent < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      bytes += sent;
      size -= static_cast<std::size_t>(sent);
    }
    return true;
  }

  std::ptrdiff_t Receive(void* buffer, std::size_t size,
                         std::chrono::milliseconds timeout) override {
    pollfd entry{fd_, POLLIN, 0};
    for (;;) {
      const int ready = ::poll(&entry, 1, PollTimeout(timeout));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return -1;
      if (ready == 0) return -2;
      break;
    }
    for (;;) {
      const ssize_t got = ::recv(fd_, buffer, size, 0);
      if (got < 0 && errno == EINTR) continue;
      return got < 0 ? -1 : got;
    }
  }

  void ShutdownBoth() override { ::shutdown(fd_, SHUT_RDWR); }

 private:
  int fd_;
};

class PosixListener final : public Listener {
 public:
  PosixListener(int fd, std::uint16_t port) : fd_(fd), port_(port) {}
  ~PosixListener() override { ::close(fd_); }
  std::uint16_t Port() const override { return port_; }

  std::unique_ptr<Socket> Accept(std::chrono::milliseconds timeout) override {
    pollfd entry{fd_, POLLIN, 0};
    if (::poll(&entry, 1, PollTimeout(timeout)) <= 0) return nullptr;
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return nullptr;
    return std::make_unique<PosixSocket>(client);
  }

 private:
  int fd_;
  std::uint16_t port_;
};

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

SocketLibrary::SocketLibrary() : ok_(true) {}
SocketLibrary::~SocketLibrary() = default;

std::unique_ptr<Socket> ConnectLoopback(std::uint16_t port, std::chrono::milliseconds timeout) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return nullptr;
  const sockaddr_in address = LoopbackAddress(port);
  int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (result < 0 && errno == EINPROGRESS) {
    pollfd entry{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (::poll(&entry, 1, PollTimeout(timeout)) == 1 &&
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
      result = 0;
    }
  }
  if (result != 0) {
    ::close(fd);
    return nullptr;
  }
  // Blocking from here on: Receive waits with poll.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return std::make_unique<PosixSocket>(fd);
}

std::unique_ptr<Listener> ListenLoopback() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 8) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixListener>(fd, ntohs(address.sin_port));
}

}  // namespace velmora::orvwebkit::platform
