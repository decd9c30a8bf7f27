#include "orvwebkit/src/websocket.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "orvwebkit/platform/platform.h"

namespace velmora::orvwebkit {
namespace {

using namespace std::chrono_literals;

// The server side of one connection, written to the protocol independently
// of the client: it checks the client's masking and sends what a test asks.
class FakeServer {
 public:
  explicit FakeServer(platform::Listener& listener) : listener_(listener) {}

  // Accepts the connection and answers the upgrade; `corrupt_accept` sends a
  // wrong key.
  bool Handshake(bool corrupt_accept = false) {
    socket_ = listener_.Accept(5s);
    if (!socket_) return false;
    std::string request;
    while (request.find("\r\n\r\n") == std::string::npos) {
      char chunk[512];
      const auto got = socket_->Receive(chunk, sizeof chunk, 5000ms);
      if (got <= 0) return false;
      request.append(chunk, static_cast<std::size_t>(got));
    }
    const std::string marker = "Sec-WebSocket-Key: ";
    const auto start = request.find(marker);
    if (start == std::string::npos || request.find("Upgrade: websocket") == std::string::npos) {
      return false;
    }
    const auto end = request.find("\r\n", start);
    std::string accept = WebSocketAcceptKey(request.substr(start + marker.size(), end - start - marker.size()));
    if (corrupt_accept) accept[0] = accept[0] == 'A' ? 'B' : 'A';
    const std::string reply =
        "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "sec-websocket-accept:  " + accept + "\r\n\r\n";
    return socket_->SendAll(reply.data(), reply.size());
  }

  void Send(std::uint8_t first_byte, const std::string& payload) {
    std::string frame(1, static_cast<char>(first_byte));
    if (payload.size() < 126) {
      frame += static_cast<char>(payload.size());
    } else if (payload.size() <= 0xFFFF) {
      frame += static_cast<char>(126);
      frame += static_cast<char>(payload.size() >> 8);
      frame += static_cast<char>(payload.size() & 0xFF);
    } else {
      frame += static_cast<char>(127);
      for (int shift = 56; shift >= 0; shift -= 8) {
        frame += static_cast<char>((static_cast<std::uint64_t>(payload.size()) >> shift) & 0xFF);
      }
    }
    frame += payload;
    ASSERT_TRUE(socket_->SendAll(frame.data(), frame.size()));
  }

  // Reads one client frame; fails the test when it is not masked.
  bool Receive(std::uint8_t* opcode, std::string* payload) {
    std::uint8_t head[2];
    if (!Read(head, 2)) return false;
    EXPECT_TRUE(head[1] & 0x80) << "client frames must be masked";
    std::uint64_t length = head[1] & 0x7F;
    if (length >= 126) {
      std::uint8_t extended[8];
      const int bytes = length == 126 ? 2 : 8;
      if (!Read(extended, bytes)) return false;
      length = 0;
      for (int i = 0; i < bytes; ++i) length = (length << 8) | extended[i];
    }
    std::uint8_t mask[4];
    if (!Read(mask, 4)) return false;
    payload->resize(length);
    if (length && !Read(payload->data(), length)) return false;
    for (std::size_t i = 0; i < length; ++i) (*payload)[i] ^= static_cast<char>(mask[i & 3]);
    *opcode = head[0] & 0x0F;
    return true;
  }

  void Close() { socket_.reset(); }

 private:
  bool Read(void* buffer, std::size_t size) {
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
      const auto got = socket_->Receive(bytes, size, 5000ms);
      if (got <= 0) return false;
      bytes += got;
      size -= static_cast<std::size_t>(got);
    }
    return true;
  }

  platform::Listener& listener_;
  std::unique_ptr<platform::Socket> socket_;
};

class WebSocketClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sockets_.ok());
    listener_ = platform::ListenLoopback();
    ASSERT_TRUE(listener_);
    server_ = std::make_unique<FakeServer>(*listener_);
  }

  std::unique_ptr<WebSocketClient> Connect(bool corrupt_accept = false) {
    auto handshake = std::async(std::launch::async,
                                [this, corrupt_accept] { return server_->Handshake(corrupt_accept); });
    auto client = WebSocketClient::Connect(
        platform::ConnectLoopback(listener_->Port(), 5s), "127.0.0.1", "/devtools/browser/x",
        [this](void* buffer, std::uint32_t size) {
          auto* bytes = static_cast<std::uint8_t*>(buffer);
          for (std::uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(next_++ * 37 + 11);
          return true;
        },
        MemorySource{}, 5s);
    EXPECT_TRUE(handshake.get());
    return client;
  }

  std::string Read(WebSocketClient& client) {
    std::string_view message;
    EXPECT_EQ(client.ReadMessage(&message), WebSocketClient::ReadResult::kMessage);
    return std::string(message);
  }

  platform::SocketLibrary sockets_;
  std::unique_ptr<platform::Listener> listener_;
  std::unique_ptr<FakeServer> server_;
  int next_ = 1;
};

TEST_F(WebSocketClientTest, MessagesOfEveryLengthEncodingGoBothWays) {
  auto client = Connect();
  ASSERT_TRUE(client);
  for (std::size_t size : {std::size_t{0}, std::size_t{125}, std::size_t{126}, std::size_t{65535},
                           std::size_t{65536}, std::size_t{300000}}) {
    std::string text(size, 'x');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i % 26);
    ASSERT_TRUE(client->SendText(text));
    std::uint8_t opcode = 0;
    std::string received;
    ASSERT_TRUE(server_->Receive(&opcode, &received)) << size;
    EXPECT_EQ(opcode, 1);
    EXPECT_EQ(received, text) << size;
    server_->Send(0x81, text);
    EXPECT_EQ(Read(*client), text) << size;
  }
}

TEST_F(WebSocketClientTest, FragmentsAreJoinedAndPingsAnswered) {
  auto client = Connect();
  ASSERT_TRUE(client);
  server_->Send(0x01, "frag");     // text, not final
  server_->Send(0x89, "are you");  // ping between the fragments
  server_->Send(0x00, "men");      // continuation, not final
  server_->Send(0x80, "ted");      // continuation, final
  server_->Send(0x81, "next");
  EXPECT_EQ(Read(*client), "fragmented");
  EXPECT_EQ(Read(*client), "next");
  std::uint8_t opcode = 0;
  std::string payload;
  ASSERT_TRUE(server_->Receive(&opcode, &payload));
  EXPECT_EQ(opcode, 0xA);
  EXPECT_EQ(payload, "are you");
}

TEST_F(WebSocketClientTest, AWrongAcceptKeyIsRefused) {
  EXPECT_FALSE(Connect(/*corrupt_accept=*/true));
}

TEST_F(WebSocketClientTest, CloseFramesAndLostConnectionsEndReading) {
  auto client = Connect();
  ASSERT_TRUE(client);
  server_->Send(0x88, std::string("\x03\xe8", 2));
  std::string_view message;
  EXPECT_EQ(client->ReadMessage(&message), WebSocketClient::ReadResult::kClosed);
  std::uint8_t opcode = 0;
  std::string payload;
  ASSERT_TRUE(server_->Receive(&opcode, &payload));
  EXPECT_EQ(opcode, 0x8);  // the close is returned

  auto second = Connect();
  ASSERT_TRUE(second);
  server_->Send(0x81, std::string(1000, 'q').substr(0, 10));
  server_->Close();
  EXPECT_EQ(Read(*second), "qqqqqqqqqq");
  EXPECT_EQ(second->ReadMessage(&message), WebSocketClient::ReadResult::kClosed);
}

TEST_F(WebSocketClientTest, ProtocolErrorsEndTheConnection) {
  const struct {
    std::uint8_t first;
    const char* why;
  } cases[] = {{0x80, "a continuation without a start"}, {0x83, "an unknown data opcode"}};
  for (const auto& c : cases) {
    auto client = Connect();
    ASSERT_TRUE(client);
    server_->Send(c.first, "x");
    std::string_view message;
    EXPECT_EQ(client->ReadMessage(&message), WebSocketClient::ReadResult::kError) << c.why;
    server_->Close();
  }
}

TEST_F(WebSocketClientTest, ShutdownWakesABlockedReader) {
  auto client = Connect();
  ASSERT_TRUE(client);
  auto reader = std::async(std::launch::async, [&] {
    std::string_view message;
    return client->ReadMessage(&message);
  });
  std::this_thread::sleep_for(100ms);
  client->Shutdown();
  ASSERT_EQ(reader.wait_for(5s), std::future_status::ready);
  EXPECT_NE(reader.get(), WebSocketClient::ReadResult::kMessage);
}

}  // namespace
}  // namespace velmora::orvwebkit
