#include "foundation/os/debug_output.h"

#include <windows.h>

namespace velmora::os {

void WriteDebuggerOutput(const char* text) {
  if (text) OutputDebugStringA(text);
}

}  // namespace velmora::os
