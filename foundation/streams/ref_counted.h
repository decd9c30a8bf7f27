// Intrusive reference counting for the objects that the HTTP job engine and
// its callers share across threads: streams, requests and clients.
//
// An object starts with no references; its creator adds the first one. The
// release that drops the count to zero destroys the object, on whichever
// thread makes it.
#pragma once

#include <atomic>
#include <utility>

namespace velmora {

class RefCounted {
 public:
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  void AddRef() const { refs_.fetch_add(1, std::memory_order_relaxed); }
  // Destroys the object when this was the last reference.
  void Release() const {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  // The number of references held right now (for diagnostics and logs).
  int RefCount() const { return refs_.load(std::memory_order_acquire); }

 protected:
  RefCounted() = default;
  virtual ~RefCounted() = default;

 private:
  mutable std::atomic<int> refs_{0};
};

// Holds one reference to a RefCounted object for its lifetime.
template <typename T>
class RefPtr {
 public:
  RefPtr() = default;
  RefPtr(T* object) : object_(object) {  // NOLINT: implicit by design
    if (object_) object_->AddRef();
  }
  RefPtr(const RefPtr& other) : RefPtr(other.object_) {}
  RefPtr(RefPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ~RefPtr() { reset(); }

  RefPtr& operator=(const RefPtr& other) {
    RefPtr copy(other);
    std::swap(object_, copy.object_);
    return *this;
  }
  RefPtr& operator=(RefPtr&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }

  void reset() {
    if (T* old = std::exchange(object_, nullptr)) old->Release();
  }
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

}  // namespace velmora
