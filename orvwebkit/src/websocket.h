// A WebSocket client (RFC 6455) over one loopback connection: the handshake,
// masked text frames out, and whole messages in.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "orvwebkit/platform/platform.h"
#include "orvwebkit/src/host_memory.h"

namespace velmora::orvwebkit {

// Fills a buffer with unpredictable bytes (the handshake key, frame masks).
using RandomSource = std::function<bool(void* buffer, std::uint32_t size)>;

class WebSocketClient {
 public:
  // The largest incoming message accepted; a bigger one ends the connection.
  static constexpr std::size_t kMaxMessageBytes = 256u << 20;

  enum class ReadResult { kMessage, kClosed, kError };

  // Performs the opening handshake for `path` on a connected socket. Null
  // when the peer does not answer in time or does not accept the upgrade
  // with the right key. `receive` supplies the incoming buffers.
  static std::unique_ptr<WebSocketClient> Connect(std::unique_ptr<platform::Socket> socket,
                                                  const std::string& host, const std::string& path,
                                                  RandomSource random, MemorySource receive,
                                                  std::chrono::milliseconds timeout);

  // Sends one text message. Safe from any thread; false once the connection
  // is gone.
  bool SendText(std::string_view text);

  // Waits for the next whole data message; pings are answered and fragments
  // joined on the way. The message stays valid until the next call. Only one
  // thread may read.
  ReadResult ReadMessage(std::string_view* message);

  // Ends the connection so that a blocked ReadMessage returns.
  void Shutdown();

 private:
  WebSocketClient(std::unique_ptr<platform::Socket> socket, RandomSource random,
                  MemorySource receive);
  bool SendFrame(std::uint8_t opcode, std::string_view payload);
  // Reads more bytes, making room for a frame of `needed` bytes.
  bool FillInput(std::size_t needed);

  std::unique_ptr<platform::Socket> socket_;
  RandomSource random_;
  std::mutex send_mutex_;
  bool send_failed_ = false;

  HostBuffer input_;           // bytes received and not yet parsed
  std::size_t input_begin_ = 0;
  std::size_t input_end_ = 0;
  std::size_t consumed_on_next_read_ = 0;
  HostBuffer fragments_;       // a message arriving in several frames
  std::size_t fragments_size_ = 0;
  bool in_fragmented_message_ = false;
};

// The value of Sec-WebSocket-Accept a server must answer for `key`.
std::string WebSocketAcceptKey(std::string_view key);

}  // namespace velmora::orvwebkit
