#include "foundation/os/string_resource.h"

#include "foundation/os/posix/embedded_strings.h"

namespace velmora::os {

bool LoadStringResource(const void*, std::uint32_t id, std::u16string* text, int max_units) {
  for (std::size_t i = 0; i < posix::kEmbeddedStringCount; ++i) {
    if (posix::kEmbeddedStrings[i].id != id) continue;
    std::u16string value = posix::kEmbeddedStrings[i].text;
    if (value.empty() || max_units < 2) return false;
    // Like LoadStringW: a text longer than the buffer is cut to fit.
    if (static_cast<int>(value.size()) > max_units - 1)
      value.resize(static_cast<std::size_t>(max_units - 1));
    *text = value;
    return true;
  }
  return false;
}

}  // namespace velmora::os
