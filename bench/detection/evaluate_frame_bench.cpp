// Cost of one processing tick (the detector takes the frame, the region
// manager evaluates every zone and reports its hits) over the moving pattern:
// 8 x 8 squares drifting over a gradient, so that every frame changes along
// every square's edges (about a third of the pixels).
//
// BM_FullFrameZone, BM_Grid8x8, BM_Grid40x30: the kernels this processor
// gets (AVX-512 where it has it); the *_Avx2 and *_Sse2 variants force those
// sets. BM_ProgramTick1200Zones:
// the tick as the program runs it at 1,200 zones, each hit handled like the
// program's zone-hit path (the zone's name looked up under the zone table's
// lock, the hit message written out), with the CPU per frame and the share
// of one core at 15 frames a second.
//
// BM_QueueCopy, BM_Split, BM_SplitWithCopy: the two passes over each frame
// before detection proper. The channel copies the camera's frame into its
// queue (a plain copy) and the detector splits it into planes; splitting
// during the copy would still have to write the packed picture the display
// shows, so it saves what BM_QueueCopy costs at most.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "common/frame.h"
#include "detection/change_kernels.h"
#include "detection/padded_rows.h"
#include "detection/moving_pattern.h"
#include "detection/neighbour_detector.h"
#include "detection/region_manager.h"
#include "grid_regions.h"

namespace tessary {
namespace {

using detail::InstructionSet;

class HitCounter {
 public:
  void onHitIndexed(std::int32_t) { ++hits; }
  std::uint64_t hits = 0;
};

// What the program does with a hit: the zone table's lock, the zone's name,
// and the hit text in the script form, "name.hit();".
class ZoneHitHandler {
 public:
  explicit ZoneHitHandler(int zones) {
    for (int i = 0; i < zones; ++i) names_.push_back("cell_" + std::to_string(i));
  }
  void onHitIndexed(std::int32_t zoneId) {
    char name[128];
    {
      std::lock_guard lock(mutex_);
      if (zoneId < 0 || static_cast<std::size_t>(zoneId) >= names_.size()) return;
      std::snprintf(name, sizeof name, "%s", names_[static_cast<std::size_t>(zoneId)].c_str());
    }
    sent += static_cast<std::uint64_t>(std::snprintf(reply_, sizeof reply_, "%s.hit();", name));
  }
  std::uint64_t sent = 0;

 private:
  std::mutex mutex_;
  std::vector<std::string> names_;
  char reply_[258] = {};
};

template <typename Handler>
void runTicks(benchmark::State& state, int columns, int rows, InstructionSet set,
              Handler& handler, Orientation zones = {}) {
  const auto frames = testing::movingPattern(16);
  NeighbourDetector detector(kFrameWidth, kFrameHeight, set);
  RegionManager manager;
  manager.setDetector(&detector);
  manager.setFrameLayout(kFrameWidth, kFrameHeight, zones);
  addGridRegions(manager, columns, rows);

  // As the capture channel runs a pass: the fired slots into a reused list.
  std::vector<std::int32_t> fired;
  fired.reserve(static_cast<std::size_t>(columns * rows));
  std::size_t tick = 0;
  for (auto _ : state) {
    const std::uint8_t* frame = frames[tick++ % frames.size()].data();
    fired.clear();
    if (detector.processFrame(frame)) manager.evaluateFrame(fired);
    for (const std::int32_t zone : fired) handler.onHitIndexed(zone);
    benchmark::DoNotOptimize(frame);
  }
  state.counters["zones"] = columns * rows;
}

void runGrid(benchmark::State& state, int columns, int rows, InstructionSet set,
             Orientation zones = {}) {
  if (!detail::isSupported(set)) {
    state.SkipWithError("this processor lacks the instruction set");
    return;
  }
  HitCounter counter;
  runTicks(state, columns, rows, set, counter, zones);
  state.counters["hits/frame"] = benchmark::Counter(
      static_cast<double>(counter.hits) / static_cast<double>(state.iterations()));
}

const InstructionSet kBest = detail::bestInstructionSet();

void BM_FullFrameZone(benchmark::State& state) { runGrid(state, 1, 1, kBest); }
void BM_Grid8x8(benchmark::State& state) { runGrid(state, 8, 8, kBest); }
void BM_Grid40x30(benchmark::State& state) { runGrid(state, 40, 30, kBest); }
// The picture mirrored, as users often want it: the zones then lie in the
// camera's frame from right to left.
void BM_Grid40x30_Mirrored(benchmark::State& state) { runGrid(state, 40, 30, kBest, {.mirrored = true}); }
void BM_FullFrameZone_Avx2(benchmark::State& state) { runGrid(state, 1, 1, InstructionSet::kAvx2); }
void BM_Grid8x8_Avx2(benchmark::State& state) { runGrid(state, 8, 8, InstructionSet::kAvx2); }
void BM_Grid40x30_Avx2(benchmark::State& state) { runGrid(state, 40, 30, InstructionSet::kAvx2); }
void BM_FullFrameZone_Sse2(benchmark::State& state) { runGrid(state, 1, 1, InstructionSet::kSse2); }
void BM_Grid8x8_Sse2(benchmark::State& state) { runGrid(state, 8, 8, InstructionSet::kSse2); }
void BM_Grid40x30_Sse2(benchmark::State& state) { runGrid(state, 40, 30, InstructionSet::kSse2); }

void BM_ProgramTick1200Zones(benchmark::State& state) {
  ZoneHitHandler handler(40 * 30);
  const std::clock_t start = std::clock();
  runTicks(state, 40, 30, kBest, handler);
  const double cpuSeconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  const auto frames = static_cast<double>(state.iterations());
  state.counters["cpu_ns/frame"] = cpuSeconds * 1e9 / frames;
  state.counters["core_percent_at_15fps"] = cpuSeconds / frames * 15 * 100;
  state.counters["reply_bytes/frame"] = static_cast<double>(handler.sent) / frames;
}

void BM_QueueCopy(benchmark::State& state) {
  const auto frames = testing::movingPattern(2);
  std::vector<std::uint8_t> slot(kFrameBytes);
  for (auto _ : state) {
    std::memcpy(slot.data(), frames[0].data(), kFrameBytes);
    benchmark::ClobberMemory();
  }
}

void splitFrames(benchmark::State& state, bool withCopy) {
  const detail::ChangeKernels& kernels = detail::changeKernels(kBest);
  const auto frames = testing::movingPattern(2);
  detail::PaddedRows planes(kFrameWidth, 3 * kFrameHeight);
  std::uint8_t* const rows[3] = {planes.row(0), planes.row(kFrameHeight),
                                 planes.row(2 * kFrameHeight)};
  std::vector<std::uint8_t> copy(kFrameBytes);
  for (auto _ : state) {
    kernels.splitChannels(frames[0].data(), kFrameWidth, kFrameHeight, planes.stride(), rows,
                          withCopy ? copy.data() : nullptr);
    benchmark::ClobberMemory();
  }
}
void BM_Split(benchmark::State& state) { splitFrames(state, false); }
void BM_SplitWithCopy(benchmark::State& state) { splitFrames(state, true); }

BENCHMARK(BM_FullFrameZone);
BENCHMARK(BM_Grid8x8);
BENCHMARK(BM_Grid40x30);
BENCHMARK(BM_Grid40x30_Mirrored);
BENCHMARK(BM_FullFrameZone_Avx2);
BENCHMARK(BM_Grid8x8_Avx2);
BENCHMARK(BM_Grid40x30_Avx2);
BENCHMARK(BM_FullFrameZone_Sse2);
BENCHMARK(BM_Grid8x8_Sse2);
BENCHMARK(BM_Grid40x30_Sse2);
BENCHMARK(BM_ProgramTick1200Zones);
BENCHMARK(BM_QueueCopy);
BENCHMARK(BM_Split);
BENCHMARK(BM_SplitWithCopy);

}  // namespace
}  // namespace tessary

BENCHMARK_MAIN();
