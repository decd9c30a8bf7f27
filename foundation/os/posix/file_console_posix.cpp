#include "foundation/os/file_console.h"

#include <unistd.h>

namespace velmora::os {

bool IsStandardErrorTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace velmora::os
