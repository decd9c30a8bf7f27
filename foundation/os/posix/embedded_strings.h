// The string table a deliverable embeds on POSIX, standing in for the
// STRINGTABLE resources of the Windows build. Each deliverable links exactly
// one table (see resources/), with hidden visibility so that the executable's
// and the core library's tables never get mixed up.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora::os::posix {

struct EmbeddedString {
  std::uint32_t id;
  const char16_t* text;
};

extern const EmbeddedString kEmbeddedStrings[];
extern const std::size_t kEmbeddedStringCount;

}  // namespace velmora::os::posix
