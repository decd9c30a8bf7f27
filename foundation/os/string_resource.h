// Localized string resources of a deliverable.
//
// Windows: the STRINGTABLE resources of the module that holds `address`
// (LoadStringW). POSIX: the table that the deliverable embeds (see
// os/posix/embedded_strings.h); each deliverable links its own.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::os {

// Loads string `id` into `text`, limited to `max_units` UTF-16 units
// including the terminator. Returns false when there is no such string or it
// is empty.
[[nodiscard]] bool LoadStringResource(const void* address, std::uint32_t id, std::u16string* text,
                                      int max_units);

}  // namespace velmora::os
