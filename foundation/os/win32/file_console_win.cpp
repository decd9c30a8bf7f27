#include "foundation/os/file_console.h"

#include <io.h>
#include <stdio.h>

namespace velmora::os {

bool IsStandardErrorTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace velmora::os
