// Output streams that the HTTP job engine writes response bodies into.
//
// A stream is reference counted: the caller that creates it, the request it
// is attached to and the running job each hold a reference. A stream is used
// by one thread at a time: the engine's worker writes while a job runs, and
// the owner reads only after the job has ended.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/streams/ref_counted.h"

namespace velmora {

class Stream : public RefCounted {
 public:
  // Writes `size` bytes at the current position and advances it, growing the
  // stream as needed. Returns false when the bytes cannot all be stored.
  [[nodiscard]] virtual bool Write(const void* data, std::size_t size) = 0;

  virtual std::uint64_t Position() const = 0;
  [[nodiscard]] virtual bool SetPosition(std::uint64_t position) = 0;

  virtual std::uint64_t Length() const = 0;
  // Cuts or extends the stream to `length` bytes; the position is unchanged.
  [[nodiscard]] virtual bool SetLength(std::uint64_t length) = 0;

  // Back to the start with nothing in it: what a redirected transfer does
  // before the next response's body arrives.
  [[nodiscard]] bool RewindAndTruncate() { return SetPosition(0) && SetLength(0); }
};

}  // namespace velmora
