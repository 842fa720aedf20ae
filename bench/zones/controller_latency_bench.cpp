// The zone server end to end at the processing rate: a camera that streams
// 15 frames per second on its own thread, the controller's channel detecting
// on its timer thread, a 40 x 30 grid (1,200 zones), and the zone-hit
// listener.
//
// Frame k lights one cell of the grid, cell k, so the first hit of that cell
// tells which sample caused it; its latency is the time from the sample's
// arrival at the camera to that hit. The second hit a region gives on the
// tick after (its count is held one tick) and hits of the cell that went dark
// name an earlier sample and are not counted again.
//
// Counters: latency median and 99th percentile in ms, samples measured, and
// CPU time of the whole process per processed frame (streaming, detection,
// the frame copy) with its share of one core.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "capture/camera_registry.h"
#include "capture/capture_backend_synthetic.h"
#include "detection/region_manager.h"
#include "zones/video_controller.h"
#include "zones/zone_hit_listener.h"

namespace tessary {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kColumns = 40;
constexpr int kRows = 30;
constexpr int kCells = kColumns * kRows;
constexpr int kMeasuredSamples = 330;  // 22 s at 15 per second

std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// What the camera lights and when each sample arrived, shared between the
// streaming thread (writer) and the hit listener (reader).
struct Script {
  struct Cell {
    int x = 0;
    int y = 0;
    int size = 0;
  };
  std::array<Cell, kCells> cells{};  // camera-buffer rectangles, written before `armed`
  std::atomic<bool> armed{false};
  std::array<std::atomic<std::int64_t>, kCells> arrivalNs{};
  std::atomic<int> delivered{0};
};

class BenchSession final : public GeneratedCaptureSession {
 public:
  BenchSession(const char* name, Script& script)
      : GeneratedCaptureSession(name), script_(script) {
    // A gentle gradient: no pixel stands out from its neighbours until lit.
    for (std::size_t offset = 0; offset < kFrameBytes; offset += 4) {
      const auto level = static_cast<std::uint8_t>(40 + (offset / 4) % kFrameWidth / 8);
      background_[offset] = background_[offset + 1] = background_[offset + 2] = level;
    }
  }
  ~BenchSession() override { stop(); }

 private:
  void streamFrame() override {
    std::memcpy(frame_.data(), background_.data(), kFrameBytes);
    int cell = -1;
    if (script_.armed.load(std::memory_order_acquire)) {
      cell = script_.delivered.load(std::memory_order_relaxed) % kCells;
      light(script_.cells[static_cast<std::size_t>(cell)]);
    }
    // The sample arrives at the camera now.
    if (cell >= 0) {
      script_.arrivalNs[static_cast<std::size_t>(cell)].store(nowNs(), std::memory_order_release);
    }
    deliver(frame_.data(), 0);
    if (cell >= 0) script_.delivered.fetch_add(1, std::memory_order_release);
  }

  // A checkerboard over the cell, so the detector counts its lit pixels.
  void light(const Script::Cell& cell) {
    for (int row = cell.y; row < cell.y + cell.size; ++row) {
      for (int column = cell.x + (row % 2); column < cell.x + cell.size; column += 2) {
        std::memset(&frame_[static_cast<std::size_t>(row * kFrameStride + column * 4)], 255, 3);
      }
    }
  }

  Script& script_;
  std::array<std::uint8_t, kFrameBytes> background_{};
  std::array<std::uint8_t, kFrameBytes> frame_{};
};

class BenchBackend final : public CaptureBackend {
 public:
  static constexpr const char* kName = "Bench Camera";
  explicit BenchBackend(Script& script) : script_(script) {}
  const char* kind() const override { return "bench"; }
  DeviceListResult listDevices(std::vector<std::string>& names) override {
    names.assign(1, kName);
    return DeviceListResult::kListed;
  }
  std::unique_ptr<CaptureSession> createSession() override {
    return std::make_unique<BenchSession>(kName, script_);
  }

 private:
  Script& script_;
};

// Runs on the detection thread only; reads the results once capture stopped.
class LatencyListener final : public ZoneHitListener {
 public:
  explicit LatencyListener(Script& script) : script_(script) {
    latenciesMs_.reserve(kCells);
    reported_.fill(0);
  }
  void onZoneHit(std::int32_t zoneId, std::string_view) override {
    const std::int64_t now = nowNs();
    if (zoneId < 0 || zoneId >= kCells) return;
    const auto cell = static_cast<std::size_t>(zoneId);
    const std::int64_t arrival = script_.arrivalNs[cell].load(std::memory_order_acquire);
    if (arrival == 0 || arrival == reported_[cell]) return;  // held or darkened
    reported_[cell] = arrival;
    latenciesMs_.push_back(static_cast<double>(now - arrival) / 1e6);
  }
  const std::vector<double>& latenciesMs() const { return latenciesMs_; }

 private:
  Script& script_;
  std::array<std::int64_t, kCells> reported_{};
  std::vector<double> latenciesMs_;
};

double percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
  return values[index];
}

void BM_ZoneHitLatencyWithGrid(benchmark::State& state) {
  for (auto _ : state) {
    auto script = std::make_unique<Script>();
    LatencyListener listener(*script);
    VideoController controller;
    controller.setZoneHitListener(&listener);
    if (!controller.initialize(
            std::make_unique<CameraRegistry>(std::make_unique<BenchBackend>(*script)))) {
      state.SkipWithError("the bench camera did not start");
      return;
    }
    controller.createGrid("grid", 0, 0, kFrameWidth, kFrameHeight, kColumns, kRows);
    for (int id = 0; id < kCells; ++id) {
      DetectionRegion region;
      if (!controller.currentRegionManager()->regionAt(id, region)) {
        state.SkipWithError("the grid has fewer cells than expected");
        return;
      }
      script->cells[static_cast<std::size_t>(id)] = {region.x, region.y, region.width};
    }

    controller.startCapture();
    // Past the detector's first comparison with a black frame.
    while (controller.processedFrameCount() < 3) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::uint64_t framesBefore = controller.processedFrameCount();
    const std::clock_t cpuBefore = std::clock();
    const auto wallBefore = Clock::now();
    script->armed.store(true, std::memory_order_release);
    while (script->delivered.load(std::memory_order_acquire) < kMeasuredSamples) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // One more period for the last sample's tick.
    std::this_thread::sleep_for(std::chrono::milliseconds(140));
    const std::clock_t cpuAfter = std::clock();
    const auto wallAfter = Clock::now();
    const std::uint64_t framesAfter = controller.processedFrameCount();
    controller.stopCapture();

    const double cpuSeconds = static_cast<double>(cpuAfter - cpuBefore) / CLOCKS_PER_SEC;
    const double wallSeconds = std::chrono::duration<double>(wallAfter - wallBefore).count();
    const auto frames = static_cast<double>(framesAfter - framesBefore);
    const std::vector<double>& latencies = listener.latenciesMs();
    state.counters["median_ms"] = percentile(latencies, 0.5);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
    state.counters["samples_measured"] = static_cast<double>(latencies.size());
    state.counters["frames_processed"] = frames;
    state.counters["cpu_us_per_frame"] = frames > 0 ? cpuSeconds * 1e6 / frames : 0.0;
    state.counters["cpu_pct_of_core"] = wallSeconds > 0 ? 100.0 * cpuSeconds / wallSeconds : 0.0;
    controller.shutdown();
  }
}
BENCHMARK(BM_ZoneHitLatencyWithGrid)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace tessary

BENCHMARK_MAIN();
