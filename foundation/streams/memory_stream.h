// A stream held in memory, used for small replies (backend queries,
// manifests) that are parsed once the transfer has ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "foundation/streams/stream.h"

namespace velmora {

struct MemoryStreamOptions {
  // With resizing off the stream never grows past `initial_capacity`, and a
  // write that does not fit fails without storing anything.
  bool resizable = true;
  // When a write does not fit, the stream grows by `growth_factor` times its
  // current capacity (1.0 doubles it; 0 grows by just what is needed), at
  // least to the needed size, rounded up to a multiple of `growth_step`
  // bytes (0: no rounding). Growing in proportion keeps a large body from
  // being copied over and over.
  double growth_factor = 1.0;
  std::size_t growth_step = 1024;
  std::size_t initial_capacity = 0;
  // A stream never holds more than this; writes past it fail.
  std::size_t max_length = static_cast<std::size_t>(-1) / 2;
};

class MemoryStream final : public Stream {
 public:
  // Creates a stream with no references (the caller adds the first one).
  // Returns null when the initial capacity cannot be allocated.
  static MemoryStream* Create(const MemoryStreamOptions& options = {});

  [[nodiscard]] bool Write(const void* data, std::size_t size) override;
  std::uint64_t Position() const override { return position_; }
  [[nodiscard]] bool SetPosition(std::uint64_t position) override;
  std::uint64_t Length() const override { return length_; }
  [[nodiscard]] bool SetLength(std::uint64_t length) override;

  // The stored bytes, valid until the next write or length change.
  const std::uint8_t* Data() const { return buffer_.get(); }
  std::size_t Size() const { return length_; }
  std::string_view View() const {
    return {reinterpret_cast<const char*>(buffer_.get()), length_};
  }
  std::size_t Capacity() const { return capacity_; }

 private:
  explicit MemoryStream(const MemoryStreamOptions& options);
  bool Reserve(std::size_t needed);

  MemoryStreamOptions options_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t length_ = 0;
  std::size_t position_ = 0;
};

}  // namespace velmora
