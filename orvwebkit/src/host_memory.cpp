#include "orvwebkit/src/host_memory.h"

#include <cstring>
#include <new>
#include <utility>

namespace velmora::orvwebkit {
namespace {

constexpr std::size_t kAlignment = 16;

void* AllocateFrom(const MemorySource& source, std::size_t size) {
  if (source.allocator) {
    return source.allocator->AllocateAligned(size, kAlignment, 0, 0, source.name);
  }
  return ::operator new(size, std::align_val_t{kAlignment}, std::nothrow);
}

void FreeTo(const MemorySource& source, void* block, std::size_t size) {
  if (!block) return;
  if (source.allocator) {
    source.allocator->Free(block, size);
  } else {
    ::operator delete(block, std::align_val_t{kAlignment});
  }
}

}  // namespace

MemorySource MemorySource::ForUiThread(Orv::WebKit::Allocator* allocator, const char* name) {
  return MemorySource{allocator, name};
}

MemorySource MemorySource::ForLibraryThread(Orv::WebKit::Allocator* allocator, const char* name) {
  return MemorySource{allocator && allocator->IsThreadSafe() ? allocator : nullptr, name};
}

HostBuffer::HostBuffer(HostBuffer&& other) noexcept { swap(other); }

HostBuffer& HostBuffer::operator=(HostBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    swap(other);
  }
  return *this;
}

void HostBuffer::swap(HostBuffer& other) noexcept {
  std::swap(source_, other.source_);
  std::swap(data_, other.data_);
  std::swap(capacity_, other.capacity_);
}

bool HostBuffer::Reserve(std::size_t capacity, std::size_t keep) {
  if (capacity <= capacity_) return true;
  void* block = AllocateFrom(source_, capacity);
  if (!block) return false;
  if (data_ && keep > 0) std::memcpy(block, data_, keep < capacity_ ? keep : capacity_);
  FreeTo(source_, data_, capacity_);
  data_ = static_cast<std::uint8_t*>(block);
  capacity_ = capacity;
  return true;
}

void HostBuffer::Release() {
  FreeTo(source_, data_, capacity_);
  data_ = nullptr;
  capacity_ = 0;
}

}  // namespace velmora::orvwebkit
