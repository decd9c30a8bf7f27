// Memory the library owns, taken from the host's allocator.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orvwebkit/orvwebkit.h"

namespace velmora::orvwebkit {

// Which allocator serves a buffer. The host's allocator serves the UI thread
// always and the library's own threads only when it says it is thread-safe;
// otherwise those buffers come from the C++ heap.
struct MemorySource {
  Orv::WebKit::Allocator* allocator = nullptr;  // null: the C++ heap
  const char* name = "OrvWebKit";

  static MemorySource ForUiThread(Orv::WebKit::Allocator* allocator, const char* name);
  static MemorySource ForLibraryThread(Orv::WebKit::Allocator* allocator, const char* name);
};

// A growable block of bytes, 16-byte aligned.
class HostBuffer {
 public:
  HostBuffer() = default;
  explicit HostBuffer(MemorySource source) : source_(source) {}
  ~HostBuffer() { Release(); }
  HostBuffer(HostBuffer&& other) noexcept;
  HostBuffer& operator=(HostBuffer&& other) noexcept;
  HostBuffer(const HostBuffer&) = delete;
  HostBuffer& operator=(const HostBuffer&) = delete;

  // Makes room for at least `capacity` bytes, keeping the first `keep`
  // bytes. False when the allocator fails (the old block then stays).
  [[nodiscard]] bool Reserve(std::size_t capacity, std::size_t keep);
  void Release();

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t capacity() const { return capacity_; }
  void swap(HostBuffer& other) noexcept;

 private:
  MemorySource source_;
  std::uint8_t* data_ = nullptr;
  std::size_t capacity_ = 0;
};

}  // namespace velmora::orvwebkit
