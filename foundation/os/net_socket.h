// Plain blocking TCP sockets over IPv4, for the loopback servers that tests
// and development tools run. The launcher's own HTTP traffic does not use
// them (see foundation/http/).
//
// Windows: Winsock 2 (started on first use, never stopped). POSIX: BSD
// sockets; sending never raises SIGPIPE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora::os {

class TcpSocket {
 public:
  // Receive results besides a byte count.
  static constexpr long kClosed = 0;
  static constexpr long kError = -1;
  static constexpr long kTimedOut = -2;

  TcpSocket() = default;
  ~TcpSocket();  // closes the socket
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;

  // Listens on an IPv4 address ("127.0.0.1") and port; port 0 picks a free
  // one (see LocalPort).
  [[nodiscard]] bool Listen(const std::string& address, std::uint16_t port);
  std::uint16_t LocalPort() const;
  // Waits up to `timeout_ms` (negative: no limit) for a connection.
  [[nodiscard]] bool Accept(TcpSocket* connection, int timeout_ms);

  [[nodiscard]] bool Connect(const std::string& address, std::uint16_t port);

  // Waits up to `timeout_ms` (negative: no limit) for data; returns the
  // number of bytes read, kClosed, kError or kTimedOut.
  long Receive(void* buffer, std::size_t size, int timeout_ms);
  [[nodiscard]] bool SendAll(const void* data, std::size_t size);
  // Ends the sending direction (the peer reads the end of the stream).
  void ShutdownSend();

  bool IsOpen() const { return handle_ != -1; }
  void Close();
  // Closes with a reset instead of an orderly end, as a crashed peer would.
  void Reset();

 private:
  std::intptr_t handle_ = -1;
};

}  // namespace velmora::os
