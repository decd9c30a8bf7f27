// orvwebkit-bench: how fast pictures get from the page to the surface, and
// what the library costs while nothing happens.
//
//  1. An animated page for a few seconds: dirty-rectangle lists per second
//     delivered to the surface, against the frames the page itself drew.
//  2. A static page where a script recolours a block: time from the script
//     call to the dirty rectangle that holds the change, against one host tick.
//  3. The same static page left alone: processor time of this process per
//     second of wall time while the host ticks every 10 ms, against the same
//     loop without the library.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "orvwebkit/hostkit/standalone_host.h"
#include "orvwebkit/platform/platform.h"

namespace {

using Clock = std::chrono::steady_clock;
using velmora::orvwebkit::hostkit::StandaloneHost;

constexpr char kAnimatedPage[] = R"(<!doctype html>
<html><body style="margin:0;background:#123">
<div id="box" style="position:absolute;width:120px;height:120px;background:#f80"></div>
<script>
  var drawn = 0;
  function step(t) {
    drawn++;
    var box = document.getElementById('box');
    box.style.left = (340 + 300 * Math.sin(t / 400)) + 'px';
    box.style.top = (240 + 200 * Math.cos(t / 300)) + 'px';
    requestAnimationFrame(step);
  }
  requestAnimationFrame(step);
</script></body></html>)";

constexpr char kStaticPage[] = R"(<!doctype html>
<html><body style="margin:0;background:#fff;font:32px sans-serif">
<div id="block" style="position:absolute;left:100px;top:200px;width:400px;height:60px;background:#888"></div>
</body></html>)";

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

double Seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

bool Contains(const Orv::WebKit::Rect& outer, int x, int y) {
  return x >= outer.x && y >= outer.y && x < outer.x + outer.width && y < outer.y + outer.height;
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<std::size_t>(fraction * values.size()))];
}

void MeasureAnimation(StandaloneHost& host, const std::string& url, std::chrono::milliseconds tick,
                      double seconds) {
  host.LoadAndWait(url);
  host.Pump(std::chrono::milliseconds(500));
  host.view()->ExecuteScript("drawn = 0;");
  host.client().dirty_lists.clear();
  const auto start = Clock::now();
  while (Seconds(Clock::now() - start) < seconds) {
    host.view()->Tick();
    std::this_thread::sleep_for(tick);
  }
  const double elapsed = Seconds(Clock::now() - start);
  const std::size_t delivered = host.client().dirty_lists.size();
  host.client().titles.clear();
  host.view()->ExecuteScript("document.title = String(drawn);");
  host.PumpUntil([&] { return !host.client().titles.empty(); }, std::chrono::seconds(5));
  double drawn = 0;
  if (!host.client().titles.empty()) {
    const std::u16string& title = host.client().titles.back();
    drawn = std::stod(std::string(title.begin(), title.end()));
  }
  std::printf("animation, tick %2d ms: %6.1f surface updates/s, page drew %6.1f frames/s, "
              "ratio %.2f\n",
              static_cast<int>(tick.count()), delivered / elapsed, drawn / elapsed,
              drawn > 0 ? delivered / drawn : 0.0);
}

void MeasureLatency(StandaloneHost& host, const std::string& url, std::chrono::milliseconds tick) {
  host.LoadAndWait(url);
  host.Pump(std::chrono::milliseconds(500));
  std::vector<double> delays;
  for (int round = 0; round < 20; ++round) {
    host.client().dirty_lists.clear();
    const std::string script = std::string("document.getElementById('block').style.background = '") +
                               (round % 2 ? "#f00" : "#00f") + "';";
    const auto start = Clock::now();
    host.view()->ExecuteScript(script.c_str());
    bool seen = false;
    while (!seen && Seconds(Clock::now() - start) < 5) {
      host.view()->Tick();
      for (const auto& list : host.client().dirty_lists) {
        for (const auto& rect : list) seen = seen || Contains(rect, 110, 215);
      }
      if (!seen) std::this_thread::sleep_for(tick);
    }
    if (seen) delays.push_back(Seconds(Clock::now() - start) * 1000);
    host.Pump(std::chrono::milliseconds(100));
  }
  if (delays.empty()) {
    std::printf("latency, tick %2d ms: no change seen\n", static_cast<int>(tick.count()));
    return;
  }
  std::printf("latency, tick %2d ms: median %.1f ms, 90th percentile %.1f ms over %zu changes "
              "(%.1f host ticks)\n",
              static_cast<int>(tick.count()), Percentile(delays, 0.5), Percentile(delays, 0.9),
              delays.size(), Percentile(delays, 0.5) / static_cast<double>(tick.count()));
}

double IdleLoopCpuPercent(StandaloneHost* host, double seconds) {
  const double cpu_before = velmora::orvwebkit::platform::ProcessCpuSeconds();
  const auto start = Clock::now();
  while (Seconds(Clock::now() - start) < seconds) {
    if (host) host->view()->Tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const double wall = Seconds(Clock::now() - start);
  return 100.0 * (velmora::orvwebkit::platform::ProcessCpuSeconds() - cpu_before) / wall;
}

}  // namespace

int main(int argc, char** argv) {
  // Each figure shows as soon as it is measured, also when output goes to a file.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  const auto folder = std::filesystem::temp_directory_path() /
                      ("orvwebkit-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(folder);
  WriteFile(folder / "animated.html", kAnimatedPage);
  WriteFile(folder / "static.html", kStaticPage);

  const double reference = IdleLoopCpuPercent(nullptr, seconds);
  StandaloneHost host;
  if (!host.Start()) {
    std::fprintf(stderr, "orvwebkit-bench: %s\n", host.error().c_str());
    return 1;
  }
  const std::string animated = StandaloneHost::FileUrl(folder / "animated.html");
  const std::string still = StandaloneHost::FileUrl(folder / "static.html");
  MeasureAnimation(host, animated, std::chrono::milliseconds(10), seconds);
  MeasureAnimation(host, animated, std::chrono::milliseconds(1), seconds);
  MeasureLatency(host, still, std::chrono::milliseconds(10));
  MeasureLatency(host, still, std::chrono::milliseconds(1));
  host.LoadAndWait(still);
  host.Pump(std::chrono::seconds(1));
  const double idle = IdleLoopCpuPercent(&host, seconds);
  std::printf("idle, static page, tick 10 ms: %.3f%% of one processor for this process "
              "(loop without the library: %.3f%%, difference %.3f points)\n",
              idle, reference, idle - reference);
  host.Stop();
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  return 0;
}
