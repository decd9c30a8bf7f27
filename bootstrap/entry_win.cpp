// The standard graphical-program entry of Launcher.exe.
#include "bootstrap/bootstrap.h"

extern "C" int __stdcall WinMain(void* instance, void* /*previous_instance*/, char* command_line,
                                 int show_command) {
  return velmora::BootstrapMain(instance, command_line, show_command);
}
