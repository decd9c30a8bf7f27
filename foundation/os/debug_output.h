// The system debugger output (OutputDebugStringA). POSIX has no debugger
// channel: the text goes to standard error only when VELMORA_DEBUG_OUTPUT=1.
#pragma once

namespace velmora::os {

void WriteDebuggerOutput(const char* text);

}  // namespace velmora::os
