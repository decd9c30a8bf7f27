// Program entry on POSIX: the command line reaches the bootstrap through the
// process arguments, so only an empty narrow command line is passed on.
#include "bootstrap/bootstrap.h"

int main(int, char**) {
  char empty[] = "";
  return velmora::BootstrapMain(nullptr, empty, 1);
}
