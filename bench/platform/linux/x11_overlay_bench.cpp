// CPU per fed frame tick of the X11 overlay, over a client window that shows
// the key colour in the middle of the render area. "cpu" is this process
// (render, convert, stretch, shape update, Xlib); "server_ms" is what the X
// server spends on the same tick (shared-memory copies, compositing).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "common/frame.h"
#include "platform/linux/x11_overlay.h"
#include "support/x11_key_client.h"
#include "support/xvfb_session.h"

namespace tessary {
namespace {

class GreyPictures final : public PictureSource {
 public:
  PictureFrame currentPicture() const override { return PictureFrame{frame_, {false, true}}; }

 private:
  std::vector<std::uint8_t> frame_ = std::vector<std::uint8_t>(kFrameBytes, 0x60);
};

// Seconds of CPU the process has used, from /proc/<pid>/stat.
double processCpuSeconds(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return 0;
  unsigned long user = 0, system = 0;
  const int read = std::fscanf(file, "%*d %*s %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system);
  std::fclose(file);
  return read == 2 ? static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK)) : 0;
}

void run(benchmark::State& state, bool damageEveryTick) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  testing::XvfbSession server("1920x1080x24");
  if (!server.start(false, false)) {
    state.SkipWithError("Xvfb did not start");
    return;
  }
  testing::KeyClient client(server.display(), ScreenRect{0, 0, width, height},
                            {ScreenRect{width / 4, height / 4, width * 3 / 4, height * 3 / 4}}, 0xFF00FF);
  DisplayState display;
  display.screenWidth = 1920;
  display.screenHeight = 1080;
  display.renderArea = ScreenRect{0, 0, width, height};
  GreyPictures pictures;
  X11Overlay overlay(display, pictures, {}, server.display());
  if (overlay.overlayInit() != 0) {
    state.SkipWithError("overlay did not start");
    return;
  }
  double serverSeconds = 0;
  for (auto _ : state) {
    if (damageEveryTick) {
      // Something beneath changes before every tick, and the tick comes late
      // enough for the shape to be rebuilt.
      state.PauseTiming();
      client.paintKeyAreas(0xFF00FF);  // the client redraws its key area
      std::this_thread::sleep_for(std::chrono::milliseconds(35));
      state.ResumeTiming();
    }
    const double before = processCpuSeconds(server.serverPid());
    overlay.overlayPresent();
    serverSeconds += processCpuSeconds(server.serverPid()) - before;
  }
  state.counters["server_ms"] = benchmark::Counter(
      serverSeconds * 1000.0, benchmark::Counter::kAvgIterations);
}

void BM_X11FedTick(benchmark::State& state) { run(state, false); }
void BM_X11FedTickReshaping(benchmark::State& state) { run(state, true); }

BENCHMARK(BM_X11FedTick)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_X11FedTickReshaping)
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->Iterations(60)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tessary

BENCHMARK_MAIN();
