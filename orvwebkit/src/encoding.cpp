#include "orvwebkit/src/encoding.h"

#include <cstring>

namespace velmora::orvwebkit {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::uint32_t RotateLeft(std::uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

}  // namespace

std::string Base64Encode(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += kAlphabet[group & 63];
  }
  if (size - i == 1) {
    const std::uint32_t group = bytes[i] << 16;
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 63];
    out += "==";
  } else if (size - i == 2) {
    const std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8);
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += '=';
  }
  return out;
}

bool Base64Decode(std::string_view text, std::vector<std::uint8_t>* out) {
  out->clear();
  std::size_t length = text.size();
  if (length % 4 == 0 && length > 0 && text[length - 1] == '=') {
    --length;
    if (text[length - 1] == '=') --length;
  }
  if (length % 4 == 1) return false;
  out->reserve(length / 4 * 3 + 2);
  std::uint32_t group = 0;
  int bits = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const int value = Base64Value(text[i]);
    if (value < 0) return false;
    group = (group << 6) | static_cast<std::uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back(static_cast<std::uint8_t>(group >> bits));
    }
  }
  return true;
}

std::array<std::uint8_t, 20> Sha1(std::string_view data) {
  std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::string message(data);
  const std::uint64_t bit_length = static_cast<std::uint64_t>(data.size()) * 8;
  message += static_cast<char>(0x80);
  while (message.size() % 64 != 56) message += '\0';
  for (int shift = 56; shift >= 0; shift -= 8) {
    message += static_cast<char>((bit_length >> shift) & 0xFF);
  }
  for (std::size_t chunk = 0; chunk < message.size(); chunk += 64) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
      const auto* p = reinterpret_cast<const std::uint8_t*>(message.data() + chunk + i * 4);
      w[i] = (std::uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    }
    for (int i = 16; i < 80; ++i) w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
      std::uint32_t f, k;
      if (i < 20) {
        f = (b & c) | (~b & d), k = 0x5A827999;
      } else if (i < 40) {
        f = b ^ c ^ d, k = 0x6ED9EBA1;
      } else if (i < 60) {
        f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d, k = 0xCA62C1D6;
      }
      const std::uint32_t next = RotateLeft(a, 5) + f + e + k + w[i];
      e = d, d = c, c = RotateLeft(b, 30), b = a, a = next;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
  }
  std::array<std::uint8_t, 20> digest{};
  for (int i = 0; i < 5; ++i) {
    digest[i * 4] = static_cast<std::uint8_t>(h[i] >> 24);
    digest[i * 4 + 1] = static_cast<std::uint8_t>(h[i] >> 16);
    digest[i * 4 + 2] = static_cast<std::uint8_t>(h[i] >> 8);
    digest[i * 4 + 3] = static_cast<std::uint8_t>(h[i]);
  }
  return digest;
}

}  // namespace velmora::orvwebkit
