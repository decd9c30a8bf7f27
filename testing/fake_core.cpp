// A stand-in core library for whole-process tests of the bootstrap program:
// its Run returns the number in VELMORA_FAKE_RUN_RESULT and records the call
// in the file VELMORA_FAKE_RUN_MARKER, if set.
#include <cstdint>
#include <cstdlib>
#include <fstream>

extern "C" VELMORA_EXPORT std::int32_t Run(void*, void*, void*, char*, int) {
  if (const char* marker = std::getenv("VELMORA_FAKE_RUN_MARKER")) {
    std::ofstream(marker) << "called";
  }
  const char* result = std::getenv("VELMORA_FAKE_RUN_RESULT");
  return result ? std::atoi(result) : 0;
}
