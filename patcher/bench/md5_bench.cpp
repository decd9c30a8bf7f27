// Hashes one file the way the patcher validates installed files (8 MiB
// reads, our MD5) and prints "<hash text> <bytes> <seconds>".
// scripts/bench-md5.sh runs it beside md5sum on the same file.
#include <chrono>
#include <cstdio>
#include <string>

#include "foundation/os/file_io.h"
#include "patcher/file_validation.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: velmora-md5-bench <file>\n");
    return 2;
  }
  const std::u16string path = velmora::os::Utf16FromFilePath(argv[1]);
  velmora::patcher::Md5Digest digest{};
  std::uint64_t size = 0;
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  if (!velmora::patcher::DigestFile(path, &digest, &size, &error)) {
    std::fprintf(stderr, "velmora-md5-bench: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s %llu %.6f\n", velmora::patcher::FormatDigest(digest).c_str(),
              static_cast<unsigned long long>(size), seconds);
  return 0;
}
