// MD5 as published in RFC 1321, used as a checksum of install files (not for
// security): the manifest gives every file's digest, and validation compares
// it with the digest of the file on disk.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmora::patcher {

// The 16 digest bytes in the order RFC 1321 defines for the output.
using Md5Digest = std::array<std::uint8_t, 16>;

// An MD5 computation fed in any number of pieces of any size.
class Md5 {
 public:
  Md5();
  void Update(const void* data, std::size_t size);
  // Appends the standard padding and the little-endian bit length and returns
  // the digest; the object must not be updated afterwards.
  Md5Digest Finish();

 private:
  void ProcessBlocks(const std::uint8_t* blocks, std::size_t count);

  std::uint32_t state_[4];
  std::uint64_t length_ = 0;  // bytes fed so far
  std::uint8_t buffer_[64];
  std::size_t buffered_ = 0;
};

Md5Digest ComputeMd5(const void* data, std::size_t size);

}  // namespace velmora::patcher
