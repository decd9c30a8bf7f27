// Whether a tool's standard streams are an interactive terminal (to decide
// whether a progress bar is worth drawing).
#pragma once

namespace velmora::os {

// Windows: _isatty on the stream's descriptor (a console); POSIX: isatty.
bool IsStandardErrorTerminal();

}  // namespace velmora::os
