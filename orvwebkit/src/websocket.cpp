#include "orvwebkit/src/websocket.h"

#include <algorithm>
#include <cstring>

#include "orvwebkit/src/encoding.h"

namespace velmora::orvwebkit {
namespace {

constexpr std::uint8_t kOpContinuation = 0x0;
constexpr std::uint8_t kOpText = 0x1;
constexpr std::uint8_t kOpBinary = 0x2;
constexpr std::uint8_t kOpClose = 0x8;
constexpr std::uint8_t kOpPing = 0x9;
constexpr std::uint8_t kOpPong = 0xA;
constexpr std::size_t kMaxHandshakeBytes = 16384;
constexpr std::size_t kInitialInput = 64 * 1024;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The value of header `name` in an HTTP response head, without surrounding
// spaces; empty when missing.
std::string HeaderValue(std::string_view head, std::string_view name) {
  std::size_t line_start = head.find("\r\n");
  while (line_start != std::string_view::npos && line_start + 2 < head.size()) {
    line_start += 2;
    const std::size_t line_end = head.find("\r\n", line_start);
    const std::string_view line = head.substr(line_start, line_end - line_start);
    const std::size_t colon = line.find(':');
    if (colon == name.size() &&
        std::equal(name.begin(), name.end(), line.begin(),
                   [](char a, char b) { return LowerAscii(a) == LowerAscii(b); })) {
      std::string_view value = line.substr(colon + 1);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
      return std::string(value);
    }
    line_start = line_end;
  }
  return {};
}

}  // namespace

std::string WebSocketAcceptKey(std::string_view key) {
  std::string joined(key);
  joined += "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
  const auto digest = Sha1(joined);
  return Base64Encode(digest.data(), digest.size());
}

WebSocketClient::WebSocketClient(std::unique_ptr<platform::Socket> socket, RandomSource random,
                                 MemorySource receive)
    : socket_(std::move(socket)), random_(std::move(random)), input_(receive),
      fragments_(receive) {}

std::unique_ptr<WebSocketClient> WebSocketClient::Connect(std::unique_ptr<platform::Socket> socket,
                                                          const std::string& host,
                                                          const std::string& path,
                                                          RandomSource random,
                                                          MemorySource receive,
                                                          std::chrono::milliseconds timeout) {
  if (!socket || !random) return nullptr;
  std::uint8_t nonce[16];
  if (!random(nonce, sizeof nonce)) return nullptr;
  const std::string key = Base64Encode(nonce, sizeof nonce);
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + host +
                              "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                              "Sec-WebSocket-Key: " + key +
                              "\r\nSec-WebSocket-Version: 13\r\n\r\n";
  if (!socket->SendAll(request.data(), request.size())) return nullptr;

  std::string head;
  std::size_t head_end = std::string::npos;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char chunk[4096];
  while ((head_end = head.find("\r\n\r\n")) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || head.size() > kMaxHandshakeBytes) return nullptr;
    const std::ptrdiff_t got = socket->Receive(chunk, sizeof chunk, left);
    if (got <= 0) return nullptr;
    head.append(chunk, static_cast<std::size_t>(got));
  }
  const std::string_view status(head.data(), head.find("\r\n"));
  if (status.substr(0, 12) != "HTTP/1.1 101" ||
      HeaderValue(std::string_view(head).substr(0, head_end + 2), "Sec-WebSocket-Accept") !=
          WebSocketAcceptKey(key)) {
    return nullptr;
  }

  std::unique_ptr<WebSocketClient> client(
      new WebSocketClient(std::move(socket), std::move(random), receive));
  const std::size_t extra = head.size() - (head_end + 4);
  if (!client->input_.Reserve(std::max(kInitialInput, extra), 0)) return nullptr;
  std::memcpy(client->input_.data(), head.data() + head_end + 4, extra);
  client->input_end_ = extra;
  return client;
}

bool WebSocketClient::SendText(std::string_view text) { return SendFrame(kOpText, text); }

bool WebSocketClient::SendFrame(std::uint8_t opcode, std::string_view payload) {
  std::uint8_t mask[4];
  if (!random_(mask, sizeof mask)) return false;
  std::string frame;
  frame.reserve(payload.size() + 14);
  frame += static_cast<char>(0x80 | opcode);
  if (payload.size() < 126) {
    frame += static_cast<char>(0x80 | payload.size());
  } else if (payload.size() <= 0xFFFF) {
    frame += static_cast<char>(0x80 | 126);
    frame += static_cast<char>(payload.size() >> 8);
    frame += static_cast<char>(payload.size() & 0xFF);
  } else {
    frame += static_cast<char>(0x80 | 127);
    const std::uint64_t size = payload.size();
    for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>((size >> shift) & 0xFF);
  }
  frame.append(reinterpret_cast<const char*>(mask), 4);
  const std::size_t start = frame.size();
  frame.append(payload);
  for (std::size_t i = 0; i < payload.size(); ++i) frame[start + i] ^= static_cast<char>(mask[i & 3]);

  std::lock_guard lock(send_mutex_);
  if (send_failed_) return false;
  if (!socket_->SendAll(frame.data(), frame.size())) send_failed_ = true;
  return !send_failed_;
}

bool WebSocketClient::FillInput(std::size_t needed) {
  // Parsed bytes are dropped from the front before the buffer grows.
  if (input_begin_ > 0) {
    std::memmove(input_.data(), input_.data() + input_begin_, input_end_ - input_begin_);
    input_end_ -= input_begin_;
    input_begin_ = 0;
  }
  std::size_t wanted = std::max(needed, input_end_ + 1);
  if (wanted > input_.capacity() &&
      !input_.Reserve(std::max(wanted, input_.capacity() * 2), input_end_)) {
    return false;
  }
  const std::ptrdiff_t got = socket_->Receive(input_.data() + input_end_,
                                              input_.capacity() - input_end_,
                                              std::chrono::milliseconds(-1));
  if (got <= 0) return false;
  input_end_ += static_cast<std::size_t>(got);
  return true;
}

WebSocketClient::ReadResult WebSocketClient::ReadMessage(std::string_view* message) {
  input_begin_ += consumed_on_next_read_;
  consumed_on_next_read_ = 0;
  for (;;) {
    const std::uint8_t* bytes = input_.data() + input_begin_;
    const std::size_t available = input_end_ - input_begin_;
    std::size_t header = 2;
    std::uint64_t length = 0;
    bool complete = false;
    if (available >= 2) {
      length = bytes[1] & 0x7F;
      if (length == 126) header = 4;
      if (length == 127) header = 10;
      if (bytes[1] & 0x80) header += 4;  // servers must not mask, but tolerate it
      if (available >= header) {
        if (length == 126) {
          length = (std::uint64_t{bytes[2]} << 8) | bytes[3];
        } else if (length == 127) {
          length = 0;
          for (int i = 2; i < 10; ++i) length = (length << 8) | bytes[i];
        }
        if (length > kMaxMessageBytes) return ReadResult::kError;
        complete = available >= header + length;
      }
    }
    if (!complete) {
      const std::size_t needed = available >= header ? header + static_cast<std::size_t>(length)
                                                     : header;
      if (!FillInput(needed)) return ReadResult::kClosed;
      continue;
    }

    const std::uint8_t first = bytes[0];
    const bool final_frame = (first & 0x80) != 0;
    const std::uint8_t opcode = first & 0x0F;
    std::uint8_t* payload = input_.data() + input_begin_ + header;
    if (bytes[1] & 0x80) {
      const std::uint8_t* mask = payload - 4;
      for (std::uint64_t i = 0; i < length; ++i) payload[i] ^= mask[i & 3];
    }
    const std::size_t frame_size = header + static_cast<std::size_t>(length);
    const std::string_view data(reinterpret_cast<const char*>(payload),
                                static_cast<std::size_t>(length));

    switch (opcode) {
      case kOpText:
      case kOpBinary:
      case kOpContinuation: {
        if ((opcode == kOpContinuation) != in_fragmented_message_) return ReadResult::kError;
        if (final_frame && !in_fragmented_message_) {
          *message = data;
          consumed_on_next_read_ = frame_size;
          return ReadResult::kMessage;
        }
        if (fragments_size_ + data.size() > kMaxMessageBytes ||
            !fragments_.Reserve(std::max<std::size_t>(fragments_size_ + data.size(),
                                                      fragments_.capacity() * 2),
                                fragments_size_)) {
          return ReadResult::kError;
        }
        std::memcpy(fragments_.data() + fragments_size_, data.data(), data.size());
        fragments_size_ += data.size();
        input_begin_ += frame_size;
        in_fragmented_message_ = !final_frame;
        if (final_frame) {
          *message = std::string_view(reinterpret_cast<const char*>(fragments_.data()),
                                      fragments_size_);
          fragments_size_ = 0;
          return ReadResult::kMessage;
        }
        break;
      }
      case kOpPing:
        SendFrame(kOpPong, data);
        input_begin_ += frame_size;
        break;
      case kOpPong:
        input_begin_ += frame_size;
        break;
      case kOpClose:
        SendFrame(kOpClose, data.substr(0, std::min<std::size_t>(data.size(), 2)));
        input_begin_ += frame_size;
        return ReadResult::kClosed;
      default:
        return ReadResult::kError;
    }
  }
}

void WebSocketClient::Shutdown() { socket_->ShutdownBoth(); }

}  // namespace velmora::orvwebkit
