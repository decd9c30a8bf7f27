// The core library's one export. The bootstrap program passes its module and
// instance handles, a null previous instance, its command line and the
// show-window code; Run takes its options from the process command line
// instead, so none of them is used.
#include "core/run.h"

extern "C" VELMORA_EXPORT std::int32_t Run(void* /*module*/, void* /*instance*/,
                                           void* /*previous_instance*/, char* /*command_line*/,
                                           int /*show_command*/) {
  return velmora::RunLauncher();
}
