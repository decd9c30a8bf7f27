// The core library's texts for POSIX builds, looked up by the same ids as the
// Windows string table.
#include "foundation/os/posix/embedded_strings.h"

namespace velmora::os::posix {

#define VELMORA_STRING(id, text) {id, u"" text},
__attribute__((visibility("hidden"))) extern const EmbeddedString kEmbeddedStrings[] = {
#include "resources/core_strings.inc"
};
#undef VELMORA_STRING
__attribute__((visibility("hidden"))) extern const std::size_t kEmbeddedStringCount =
    sizeof(kEmbeddedStrings) / sizeof(kEmbeddedStrings[0]);

}  // namespace velmora::os::posix
