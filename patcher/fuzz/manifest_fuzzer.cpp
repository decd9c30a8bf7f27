// libFuzzer entry for the manifest reader; see run-manifest-fuzzer.sh.
#include <cstdio>
#include <cstdlib>

#include "patcher/fuzz/manifest_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string broken = velmora::patcher::ExerciseManifestReader(data, size);
  if (!broken.empty()) {
    std::fprintf(stderr, "manifest reader broke a promise: %s\n", broken.c_str());
    std::abort();
  }
  return 0;
}
