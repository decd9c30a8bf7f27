#include "foundation/streams/memory_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace velmora {

MemoryStream::MemoryStream(const MemoryStreamOptions& options) : options_(options) {
  if (options_.growth_factor < 0.0 || !std::isfinite(options_.growth_factor))
    options_.growth_factor = 0.0;
}

MemoryStream* MemoryStream::Create(const MemoryStreamOptions& options) {
  auto* stream = new (std::nothrow) MemoryStream(options);
  if (!stream) return nullptr;
  if (options.initial_capacity > options.max_length) {
    delete stream;
    return nullptr;
  }
  if (options.initial_capacity > 0) {
    // The first block has exactly the asked size; growth rules apply later.
    stream->buffer_.reset(new (std::nothrow) std::uint8_t[options.initial_capacity]);
    if (!stream->buffer_) {
      delete stream;
      return nullptr;
    }
    stream->capacity_ = options.initial_capacity;
  }
  return stream;
}

bool MemoryStream::Reserve(std::size_t needed) {
  if (needed <= capacity_) return true;
  if (needed > options_.max_length) return false;
  if (!options_.resizable) return false;
  std::size_t target = needed;
  const double grown =
      static_cast<double>(capacity_) + static_cast<double>(capacity_) * options_.growth_factor;
  if (grown > static_cast<double>(target))
    target = grown >= static_cast<double>(options_.max_length) ? options_.max_length
                                                               : static_cast<std::size_t>(grown);
  if (options_.growth_step > 0) {
    const std::size_t step = options_.growth_step;
    const std::size_t rounded = (target / step) * step + (target % step ? step : 0);
    // Rounding never pushes past the limit; the exact need still fits.
    target = (rounded < target || rounded > options_.max_length) ? std::max(needed, target)
                                                                  : rounded;
  }
  std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[target]);
  if (!bigger) return false;
  if (length_ > 0) std::memcpy(bigger.get(), buffer_.get(), length_);
  buffer_ = std::move(bigger);
  capacity_ = target;
  return true;
}

bool MemoryStream::Write(const void* data, std::size_t size) {
  if (size == 0) return true;
  if (!data) return false;
  if (size > options_.max_length || position_ > options_.max_length - size) return false;
  const std::size_t end = position_ + size;
  if (end > capacity_ && !Reserve(end)) return false;
  if (position_ > length_) std::memset(buffer_.get() + length_, 0, position_ - length_);
  std::memcpy(buffer_.get() + position_, data, size);
  position_ = end;
  length_ = std::max(length_, end);
  return true;
}

bool MemoryStream::SetPosition(std::uint64_t position) {
  if (position > options_.max_length) return false;
  position_ = static_cast<std::size_t>(position);
  return true;
}

bool MemoryStream::SetLength(std::uint64_t length) {
  if (length > options_.max_length) return false;
  const auto new_length = static_cast<std::size_t>(length);
  if (new_length > length_) {
    if (!Reserve(new_length)) return false;
    std::memset(buffer_.get() + length_, 0, new_length - length_);
  }
  length_ = new_length;
  return true;
}

}  // namespace velmora
