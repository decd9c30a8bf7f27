// UTF-8 and UTF-16 conversions of the library: the project's own, linked in
// statically, so the deliverable stays self-contained without a second copy.
#pragma once

#include "foundation/text/utf.h"

namespace velmora::orvwebkit {

// Malformed input (a bad UTF-8 sequence, a lone surrogate) becomes U+FFFD.
using ::velmora::Utf16ToUtf8;
using ::velmora::Utf8ToUtf16;

}  // namespace velmora::orvwebkit
