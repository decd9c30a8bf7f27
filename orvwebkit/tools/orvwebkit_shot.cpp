// orvwebkit-shot <page.html> <out.png> [script...]
//
// Loads a page into an 800 x 600 view of the library, runs the scripts in
// order, waits until the view stops changing and writes the surface as a
// PNG: a picture of exactly what a host would show.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "orvwebkit/hostkit/standalone_host.h"
#include "orvwebkit/platform/platform.h"

namespace {

using velmora::orvwebkit::hostkit::StandaloneHost;

// Waits until a first picture came and then no new pixels for `quiet`.
void WaitUntilSettled(StandaloneHost& host, std::chrono::milliseconds quiet,
                      std::chrono::milliseconds limit) {
  auto& updates = host.client().dirty_lists;
  std::size_t seen = updates.size();
  auto last_change = std::chrono::steady_clock::now();
  host.PumpUntil(
      [&] {
        const auto now = std::chrono::steady_clock::now();
        if (updates.size() != seen) {
          seen = updates.size();
          last_change = now;
        }
        return !updates.empty() && now - last_change >= quiet;
      },
      limit);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: orvwebkit-shot <page.html> <out.png> [script...]\n");
    return 1;
  }
  StandaloneHost host;
  if (!host.Start()) {
    std::fprintf(stderr, "orvwebkit-shot: %s\n", host.error().c_str());
    return 2;
  }
  const std::string url = StandaloneHost::FileUrl(argv[1]);
  const std::int32_t state = host.LoadAndWait(url);
  if (state != Orv::WebKit::kLoadLoaded) {
    std::fprintf(stderr, "orvwebkit-shot: %s did not load (state %d)\n", url.c_str(), state);
    return 2;
  }
  std::printf("loaded %s\n", url.c_str());
  std::fflush(stdout);
  WaitUntilSettled(host, std::chrono::milliseconds(300), std::chrono::seconds(10));
  for (int i = 3; i < argc; ++i) {
    host.view()->ExecuteScript(argv[i]);
    host.Pump(std::chrono::milliseconds(50));
    WaitUntilSettled(host, std::chrono::milliseconds(300), std::chrono::seconds(10));
  }
  const std::vector<std::uint8_t> pixels = host.CopySurface();
  const std::int32_t width = host.view()->Width();
  const std::int32_t height = host.view()->Height();
  host.Stop();

  std::vector<std::uint8_t> png;
  if (pixels.empty() ||
      !velmora::orvwebkit::platform::EncodePng(pixels.data(), width, height, width * 4, &png)) {
    std::fprintf(stderr, "orvwebkit-shot: cannot encode the picture\n");
    return 3;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  if (!out) {
    std::fprintf(stderr, "orvwebkit-shot: cannot write %s\n", argv[2]);
    return 3;
  }
  std::printf("%s: %dx%d\n", argv[2], width, height);
  return 0;
}
