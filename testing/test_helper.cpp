// velmora-test-helper: a small program that tests start as a child process.
//   sleep <ms>                  sleeps, then exits 0
//   hold-mutex <name> <ms>      creates the named mutex as owner, prints
//                               "created" or "exists", holds it <ms>, exits 0
//   exit <code>                 exits with <code>
//   locale                      prints "<string-id base> <packed locale hex>"
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "common/locale_table.h"
#include "foundation/os/named_mutex.h"

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "hold-mutex") == 0) {
    velmora::os::NamedMutex mutex;
    const auto outcome = mutex.Create(argv[2], true);
    std::printf("%s\n", outcome == velmora::os::NamedMutexOutcome::kCreated ? "created" : "exists");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[3])));
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
  if (argc >= 2 && std::strcmp(argv[1], "locale") == 0) {
    std::printf("%d %08X\n", static_cast<int>(velmora::ComputeStringIdBase()),
                static_cast<unsigned>(velmora::PackedUserLocaleCode()));
    return 0;
  }
  std::fprintf(stderr, "usage: velmora-test-helper sleep|hold-mutex|exit|locale ...\n");
  return 2;
}
