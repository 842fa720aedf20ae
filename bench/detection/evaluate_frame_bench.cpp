// Cost of one processing tick (the detector takes the frame, the region
// manager evaluates every zone) over a moving pattern.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "common/frame.h"
#include "detection/neighbour_detector.h"
#include "detection/region_manager.h"
#include "grid_regions.h"

namespace tessary {
namespace {

// 8 x 8 pixel squares drifting two pixels right and one down per frame, over
// a faint gradient, so that every frame changes along every square's edges.
std::vector<std::vector<std::uint8_t>> movingPattern(int frameCount) {
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 0; i < frameCount; ++i) {
    std::vector<std::uint8_t> frame(kFrameBytes);
    for (int y = 0; y < kFrameHeight; ++y) {
      for (int x = 0; x < kFrameWidth; ++x) {
        const bool square = (((x + 2 * i) / 8) + ((y + i) / 8)) % 2 == 0;
        const auto base = static_cast<std::uint8_t>((x + y) / 4);
        std::uint8_t* pixel = frame.data() + (static_cast<std::size_t>(y) * kFrameWidth + x) * 4;
        pixel[0] = static_cast<std::uint8_t>(square ? 200 - base : 20 + base);
        pixel[1] = static_cast<std::uint8_t>(square ? 180 - base : 30 + base);
        pixel[2] = static_cast<std::uint8_t>(square ? 220 - base : 10 + base);
        pixel[3] = 0;
      }
    }
    frames.push_back(std::move(frame));
  }
  return frames;
}

class HitCounter {
 public:
  void onHitIndexed(std::int32_t) { ++hits; }
  std::uint64_t hits = 0;
};

void runTicks(benchmark::State& state, int columns, int rows) {
  const auto frames = movingPattern(16);
  NeighbourDetector detector(kFrameWidth, kFrameHeight, 2);
  RegionManager manager;
  manager.setDetector(&detector);
  HitCounter counter;
  addGridRegions(manager, columns, rows,
                 RegionIndexedHitCallback::bind(&counter, &HitCounter::onHitIndexed));

  std::size_t tick = 0;
  for (auto _ : state) {
    const std::uint8_t* frame = frames[tick++ % frames.size()].data();
    if (detector.processFrame(frame)) benchmark::DoNotOptimize(manager.evaluateFrame());
    benchmark::DoNotOptimize(frame);
  }
  state.counters["zones"] = columns * rows;
  state.counters["hits/frame"] =
      benchmark::Counter(static_cast<double>(counter.hits) / static_cast<double>(state.iterations()));
}

void BM_FullFrameZone(benchmark::State& state) { runTicks(state, 1, 1); }
void BM_Grid8x8(benchmark::State& state) { runTicks(state, 8, 8); }
void BM_Grid40x30(benchmark::State& state) { runTicks(state, 40, 30); }

BENCHMARK(BM_FullFrameZone);
BENCHMARK(BM_Grid8x8);
BENCHMARK(BM_Grid40x30);

}  // namespace
}  // namespace tessary

BENCHMARK_MAIN();
