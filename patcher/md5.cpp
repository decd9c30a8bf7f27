#include "patcher/md5.h"

#include <cstring>

namespace velmora::patcher {
namespace {

inline std::uint32_t LoadLittleEndian32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint32_t RotateLeft(std::uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// One step of each round. The message word and the constant are added
// first, since they do not wait for the previous step; F is written with one
// operation fewer than in the RFC's text, and G as a sum of its two disjoint
// halves, which lets them run in parallel. All give the RFC's values.
#define VELMORA_MD5_STEP_F(a, b, c, d, x, t, s) \
  a += (x) + (t);                              \
  a += (d ^ (b & (c ^ d)));                    \
  a = RotateLeft(a, s) + b
#define VELMORA_MD5_STEP_G(a, b, c, d, x, t, s) \
  a += (x) + (t);                              \
  a += (~d & c);                               \
  a += (d & b);                                \
  a = RotateLeft(a, s) + b
#define VELMORA_MD5_STEP_H(a, b, c, d, x, t, s) \
  a += (x) + (t);                              \
  a += (b ^ c ^ d);                            \
  a = RotateLeft(a, s) + b
#define VELMORA_MD5_STEP_I(a, b, c, d, x, t, s) \
  a += (x) + (t);                              \
  a += (c ^ (b | ~d));                         \
  a = RotateLeft(a, s) + b

}  // namespace

Md5::Md5() : state_{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u} {}

void Md5::ProcessBlocks(const std::uint8_t* p, std::size_t count) {
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (; count > 0; --count, p += 64) {
    const std::uint32_t x0 = LoadLittleEndian32(p), x1 = LoadLittleEndian32(p + 4),
                        x2 = LoadLittleEndian32(p + 8), x3 = LoadLittleEndian32(p + 12),
                        x4 = LoadLittleEndian32(p + 16), x5 = LoadLittleEndian32(p + 20),
                        x6 = LoadLittleEndian32(p + 24), x7 = LoadLittleEndian32(p + 28),
                        x8 = LoadLittleEndian32(p + 32), x9 = LoadLittleEndian32(p + 36),
                        x10 = LoadLittleEndian32(p + 40), x11 = LoadLittleEndian32(p + 44),
                        x12 = LoadLittleEndian32(p + 48), x13 = LoadLittleEndian32(p + 52),
                        x14 = LoadLittleEndian32(p + 56), x15 = LoadLittleEndian32(p + 60);
    const std::uint32_t aa = a, bb = b, cc = c, dd = d;

    VELMORA_MD5_STEP_F(a, b, c, d, x0, 0xd76aa478u, 7);
    VELMORA_MD5_STEP_F(d, a, b, c, x1, 0xe8c7b756u, 12);
    VELMORA_MD5_STEP_F(c, d, a, b, x2, 0x242070dbu, 17);
    VELMORA_MD5_STEP_F(b, c, d, a, x3, 0xc1bdceeeu, 22);
    VELMORA_MD5_STEP_F(a, b, c, d, x4, 0xf57c0fafu, 7);
    VELMORA_MD5_STEP_F(d, a, b, c, x5, 0x4787c62au, 12);
    VELMORA_MD5_STEP_F(c, d, a, b, x6, 0xa8304613u, 17);
    VELMORA_MD5_STEP_F(b, c, d, a, x7, 0xfd469501u, 22);
    VELMORA_MD5_STEP_F(a, b, c, d, x8, 0x698098d8u, 7);
    VELMORA_MD5_STEP_F(d, a, b, c, x9, 0x8b44f7afu, 12);
    VELMORA_MD5_STEP_F(c, d, a, b, x10, 0xffff5bb1u, 17);
    VELMORA_MD5_STEP_F(b, c, d, a, x11, 0x895cd7beu, 22);
    VELMORA_MD5_STEP_F(a, b, c, d, x12, 0x6b901122u, 7);
    VELMORA_MD5_STEP_F(d, a, b, c, x13, 0xfd987193u, 12);
    VELMORA_MD5_STEP_F(c, d, a, b, x14, 0xa679438eu, 17);
    VELMORA_MD5_STEP_F(b, c, d, a, x15, 0x49b40821u, 22);

    VELMORA_MD5_STEP_G(a, b, c, d, x1, 0xf61e2562u, 5);
    VELMORA_MD5_STEP_G(d, a, b, c, x6, 0xc040b340u, 9);
    VELMORA_MD5_STEP_G(c, d, a, b, x11, 0x265e5a51u, 14);
    VELMORA_MD5_STEP_G(b, c, d, a, x0, 0xe9b6c7aau, 20);
    VELMORA_MD5_STEP_G(a, b, c, d, x5, 0xd62f105du, 5);
    VELMORA_MD5_STEP_G(d, a, b, c, x10, 0x02441453u, 9);
    VELMORA_MD5_STEP_G(c, d, a, b, x15, 0xd8a1e681u, 14);
    VELMORA_MD5_STEP_G(b, c, d, a, x4, 0xe7d3fbc8u, 20);
    VELMORA_MD5_STEP_G(a, b, c, d, x9, 0x21e1cde6u, 5);
    VELMORA_MD5_STEP_G(d, a, b, c, x14, 0xc33707d6u, 9);
    VELMORA_MD5_STEP_G(c, d, a, b, x3, 0xf4d50d87u, 14);
    VELMORA_MD5_STEP_G(b, c, d, a, x8, 0x455a14edu, 20);
    VELMORA_MD5_STEP_G(a, b, c, d, x13, 0xa9e3e905u, 5);
    VELMORA_MD5_STEP_G(d, a, b, c, x2, 0xfcefa3f8u, 9);
    VELMORA_MD5_STEP_G(c, d, a, b, x7, 0x676f02d9u, 14);
    VELMORA_MD5_STEP_G(b, c, d, a, x12, 0x8d2a4c8au, 20);

    VELMORA_MD5_STEP_H(a, b, c, d, x5, 0xfffa3942u, 4);
    VELMORA_MD5_STEP_H(d, a, b, c, x8, 0x8771f681u, 11);
    VELMORA_MD5_STEP_H(c, d, a, b, x11, 0x6d9d6122u, 16);
    VELMORA_MD5_STEP_H(b, c, d, a, x14, 0xfde5380cu, 23);
    VELMORA_MD5_STEP_H(a, b, c, d, x1, 0xa4beea44u, 4);
    VELMORA_MD5_STEP_H(d, a, b, c, x4, 0x4bdecfa9u, 11);
    VELMORA_MD5_STEP_H(c, d, a, b, x7, 0xf6bb4b60u, 16);
    VELMORA_MD5_STEP_H(b, c, d, a, x10, 0xbebfbc70u, 23);
    VELMORA_MD5_STEP_H(a, b, c, d, x13, 0x289b7ec6u, 4);
    VELMORA_MD5_STEP_H(d, a, b, c, x0, 0xeaa127fau, 11);
    VELMORA_MD5_STEP_H(c, d, a, b, x3, 0xd4ef3085u, 16);
    VELMORA_MD5_STEP_H(b, c, d, a, x6, 0x04881d05u, 23);
    VELMORA_MD5_STEP_H(a, b, c, d, x9, 0xd9d4d039u, 4);
    VELMORA_MD5_STEP_H(d, a, b, c, x12, 0xe6db99e5u, 11);
    VELMORA_MD5_STEP_H(c, d, a, b, x15, 0x1fa27cf8u, 16);
    VELMORA_MD5_STEP_H(b, c, d, a, x2, 0xc4ac5665u, 23);

    VELMORA_MD5_STEP_I(a, b, c, d, x0, 0xf4292244u, 6);
    VELMORA_MD5_STEP_I(d, a, b, c, x7, 0x432aff97u, 10);
    VELMORA_MD5_STEP_I(c, d, a, b, x14, 0xab9423a7u, 15);
    VELMORA_MD5_STEP_I(b, c, d, a, x5, 0xfc93a039u, 21);
    VELMORA_MD5_STEP_I(a, b, c, d, x12, 0x655b59c3u, 6);
    VELMORA_MD5_STEP_I(d, a, b, c, x3, 0x8f0ccc92u, 10);
    VELMORA_MD5_STEP_I(c, d, a, b, x10, 0xffeff47du, 15);
    VELMORA_MD5_STEP_I(b, c, d, a, x1, 0x85845dd1u, 21);
    VELMORA_MD5_STEP_I(a, b, c, d, x8, 0x6fa87e4fu, 6);
    VELMORA_MD5_STEP_I(d, a, b, c, x15, 0xfe2ce6e0u, 10);
    VELMORA_MD5_STEP_I(c, d, a, b, x6, 0xa3014314u, 15);
    VELMORA_MD5_STEP_I(b, c, d, a, x13, 0x4e0811a1u, 21);
    VELMORA_MD5_STEP_I(a, b, c, d, x4, 0xf7537e82u, 6);
    VELMORA_MD5_STEP_I(d, a, b, c, x11, 0xbd3af235u, 10);
    VELMORA_MD5_STEP_I(c, d, a, b, x2, 0x2ad7d2bbu, 15);
    VELMORA_MD5_STEP_I(b, c, d, a, x9, 0xeb86d391u, 21);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state_[0] = a;
  state_[1] = b;
  state_[2] = c;
  state_[3] = d;
}

#undef VELMORA_MD5_STEP_F
#undef VELMORA_MD5_STEP_G
#undef VELMORA_MD5_STEP_H
#undef VELMORA_MD5_STEP_I

void Md5::Update(const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  length_ += size;
  if (buffered_ > 0) {
    const std::size_t take = size < 64 - buffered_ ? size : 64 - buffered_;
    std::memcpy(buffer_ + buffered_, p, take);
    buffered_ += take;
    p += take;
    size -= take;
    if (buffered_ < 64) return;
    ProcessBlocks(buffer_, 1);
    buffered_ = 0;
  }
  // Whole blocks straight from the caller's bytes, without a copy.
  if (size >= 64) {
    ProcessBlocks(p, size / 64);
    p += size & ~static_cast<std::size_t>(63);
    size &= 63;
  }
  if (size > 0) {
    std::memcpy(buffer_, p, size);
    buffered_ = size;
  }
}

Md5Digest Md5::Finish() {
  const std::uint64_t bit_length = length_ * 8;
  std::uint8_t padding[72] = {0x80};
  const std::size_t pad = buffered_ < 56 ? 56 - buffered_ : 120 - buffered_;
  std::uint8_t length_bytes[8];
  for (int i = 0; i < 8; ++i) length_bytes[i] = static_cast<std::uint8_t>(bit_length >> (8 * i));
  Update(padding, pad);
  Update(length_bytes, 8);
  Md5Digest digest;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (8 * j));
  return digest;
}

Md5Digest ComputeMd5(const void* data, std::size_t size) {
  Md5 md5;
  md5.Update(data, size);
  return md5.Finish();
}

}  // namespace velmora::patcher
