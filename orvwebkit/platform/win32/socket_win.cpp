#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>

#include "orvwebkit/platform/platform.h"

namespace velmora::orvwebkit::platform {
namespace {

timeval ToTimeval(std::chrono::milliseconds timeout) {
  timeval value{};
  value.tv_sec = static_cast<long>(timeout.count() / 1000);
  value.tv_usec = static_cast<long>((timeout.count() % 1000) * 1000);
  return value;
}

// Waits until `s` is readable (or writable); 1 ready, 0 time-out, -1 error.
int WaitForSocket(SOCKET s, bool for_write, std::chrono::milliseconds timeout) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  fd_set errors;
  FD_ZERO(&errors);
  FD_SET(s, &errors);
  timeval limit = ToTimeval(timeout);
  const int ready = ::select(0, for_write ? nullptr : &set, for_write ? &set : nullptr,
                             &errors, timeout.count() < 0 ? nullptr : &limit);
  if (ready == SOCKET_ERROR) return -1;
  if (ready == 0) return 0;
  return FD_ISSET(s, &errors) && !FD_ISSET(s, &set) ? -1 : 1;
}

class WinSocket final : public Socket {
 public:
  explicit WinSocket(SOCKET s) : socket_(s) {
    BOOL one = TRUE;
    // Protocol messages are small and latency matters more than batching.
    ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                 sizeof one);
  }
  ~WinSocket() override { ::closesocket(socket_); }

  bool SendAll(const void* data, std::size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      const int chunk = size > 1 << 20 ? 1 << 20 : static_cast<int>(size);
      const int sent = ::send(socket_, bytes, chunk, 0);
      if (sent == SOCKET_ERROR) return false;
      bytes += sent;
      size -= static_cast<std::size_t>(sent);
    }
    return true;
  }

  std::ptrdiff_t Receive(void* buffer, std::size_t size,
                         std::chrono::milliseconds timeout) override {
    // A shutdown from another thread does not wake a waiting select() on
    // every Windows socket implementation, so long waits are taken in slices
    // that look at the flag ShutdownBoth sets.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int ready = 0;
    for (;;) {
      if (shut_down_) return 0;
      std::chrono::milliseconds slice = kWakeSlice;
      if (timeout.count() >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return -2;
        slice = std::min(slice, left);
      }
      ready = WaitForSocket(socket_, false, slice);
      if (ready != 0) break;
    }
    if (ready < 0) return -1;
    const int chunk = size > 1 << 20 ? 1 << 20 : static_cast<int>(size);
    const int got = ::recv(socket_, static_cast<char*>(buffer), chunk, 0);
    return got == SOCKET_ERROR ? -1 : got;
  }

  void ShutdownBoth() override {
    shut_down_ = true;
    ::shutdown(socket_, SD_BOTH);
  }

 private:
  static constexpr std::chrono::milliseconds kWakeSlice{200};
  SOCKET socket_;
  std::atomic<bool> shut_down_{false};
};

class WinListener final : public Listener {
 public:
  WinListener(SOCKET s, std::uint16_t port) : socket_(s), port_(port) {}
  ~WinListener() override { ::closesocket(socket_); }
  std::uint16_t Port() const override { return port_; }

  std::unique_ptr<Socket> Accept(std::chrono::milliseconds timeout) override {
    if (WaitForSocket(socket_, false, timeout) != 1) return nullptr;
    const SOCKET client = ::accept(socket_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return nullptr;
    return std::make_unique<WinSocket>(client);
  }

 private:
  SOCKET socket_;
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

SocketLibrary::SocketLibrary() {
  WSADATA data;
  ok_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

SocketLibrary::~SocketLibrary() {
  if (ok_) ::WSACleanup();
}

std::unique_ptr<Socket> ConnectLoopback(std::uint16_t port, std::chrono::milliseconds timeout) {
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return nullptr;
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  u_long non_blocking = 1;
  ::ioctlsocket(s, FIONBIO, &non_blocking);
  const sockaddr_in address = LoopbackAddress(port);
  bool connected =
      ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (!connected && ::WSAGetLastError() == WSAEWOULDBLOCK) {
    connected = WaitForSocket(s, true, timeout) == 1;
  }
  if (!connected) {
    ::closesocket(s);
    return nullptr;
  }
  non_blocking = 0;
  ::ioctlsocket(s, FIONBIO, &non_blocking);
  return std::make_unique<WinSocket>(s);
}

std::unique_ptr<Listener> ListenLoopback() {
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return nullptr;
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  sockaddr_in address = LoopbackAddress(0);
  int length = sizeof address;
  if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s, 8) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::closesocket(s);
    return nullptr;
  }
  return std::make_unique<WinListener>(s, ntohs(address.sin_port));
}

}  // namespace velmora::orvwebkit::platform
