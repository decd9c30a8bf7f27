#include "foundation/os/debug_output.h"

#include <cstdio>

#include "foundation/os/environment.h"

namespace velmora::os {

void WriteDebuggerOutput(const char* text) {
  // There is no debugger channel on POSIX; standard error stands in on request.
  static const bool enabled = [] {
    auto value = GetEnvironmentValue("VELMORA_DEBUG_OUTPUT");
    return value && *value == "1";
  }();
  if (enabled && text) std::fputs(text, stderr);
}

}  // namespace velmora::os
