// (1) One channel tick over a 40 x 30 grid of zones (1,200 zones), every
//     zone changing on every frame: the CPU cost of one processed frame.
// (2) End to end at 15 frames per second: a camera receives samples on a
//     streaming thread, its channel polls it at 15 ticks per second, and the
//     latency from a sample's arrival to the first zone hit it causes is
//     measured over 300 samples (median and 99th percentile), with the CPU
//     time per processed frame and as a share of one core.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "capture/camera.h"
#include "capture/capture_channel.h"
#include "capture/fake_capture_backend.h"
#include "capture/scripted_frame_source.h"
#include "common/frame.h"
#include "detection/region_manager.h"
#include "grid_regions.h"

namespace tessary {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kGridColumns = 40;
constexpr int kGridRows = 30;

// Pattern phase n: every pixel differs from its neighbours and from the same
// pixel in any other phase, so each new sample moves every zone. Byte 3,
// which detection ignores, of the first four pixels carries the sample number.
void paintSample(std::uint8_t* frame, std::uint32_t number) {
  for (int y = 0; y < kFrameHeight; ++y) {
    for (int x = 0; x < kFrameWidth; ++x) {
      const auto value = static_cast<std::uint8_t>(((x + y + number) % 3) * 100);
      std::uint8_t* pixel = frame + y * kFrameStride + x * kFrameBytesPerPixel;
      pixel[0] = pixel[1] = pixel[2] = value;
      pixel[3] = 0;
    }
  }
  for (int i = 0; i < 4; ++i) frame[i * 4 + 3] = static_cast<std::uint8_t>(number >> (8 * i));
}

std::uint32_t sampleNumber(const std::uint8_t* frame) {
  std::uint32_t number = 0;
  for (int i = 0; i < 4; ++i) number |= std::uint32_t{frame[i * 4 + 3]} << (8 * i);
  return number;
}

template <typename Sink>
void addGrid(RegionManager& manager, Sink& sink) {
  addGridRegions(manager, kGridColumns, kGridRows, RegionIndexedHitCallback::bind(&sink, &Sink::onHit));
}

class CountingSink {
 public:
  void onHit(std::int32_t) { ++hits; }
  std::int64_t hits = 0;
};

void BM_ChannelTickWith1200Zones(benchmark::State& state) {
  std::vector<fakes::Frame> frames(3, fakes::Frame(kFrameBytes));
  for (std::uint32_t i = 0; i < 3; ++i) paintSample(frames[i].data(), i);
  fakes::ScriptedFrameSource source(frames);
  fakes::FrozenTimerDevice frozen;
  CaptureChannel channel(frozen);
  ChannelInitRecord record;
  record.camera = &source;
  channel.init(record);
  CountingSink sink;
  addGrid(*channel.createRegionManager(), sink);
  channel.start();
  source.show(0);
  channel.tick();
  for (auto _ : state) {
    source.advance();
    channel.tick();
  }
  state.counters["hits_per_tick"] =
      benchmark::Counter(static_cast<double>(sink.hits), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ChannelTickWith1200Zones)->Unit(benchmark::kMicrosecond);

// Measures, on the detection thread, the time from a sample's arrival to the
// first hit it causes.
class LatencySink {
 public:
  explicit LatencySink(const std::vector<Clock::time_point>& arrivals) : arrivals_(arrivals) {}

  void onHit(std::int32_t) {
    if (!hitThisTick_) firstHit_ = Clock::now();
    hitThisTick_ = true;
  }
  // Runs after the tick's hits, with the frame that caused them.
  void onFrame(const std::uint8_t* frame) {
    ++ticks;
    if (frame == nullptr || !hitThisTick_) return;
    hitThisTick_ = false;
    const std::uint32_t number = sampleNumber(frame);
    // A sample polled twice fires again from its previous count; only the
    // first hit of each sample counts.
    if (number == lastMeasured_ || number >= arrivals_.size()) return;
    lastMeasured_ = number;
    latenciesMs.push_back(
        std::chrono::duration<double, std::milli>(firstHit_ - arrivals_[number]).count());
  }

  std::vector<double> latenciesMs;
  int ticks = 0;

 private:
  const std::vector<Clock::time_point>& arrivals_;
  Clock::time_point firstHit_;
  bool hitThisTick_ = false;
  std::uint32_t lastMeasured_ = ~0u;
};

double percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
  return values[index];
}

void BM_SampleToZoneHitAt15Fps(benchmark::State& state) {
  constexpr std::uint32_t kSamples = 320;
  constexpr int kFps = 15;
  for (auto _ : state) {
    fakes::FakeCaptureBackend backend;
    backend.devices.push_back({"Cam", {fakes::capability(PixelFormat::kRgb32, 160, 120)}});
    Camera camera(backend);
    camera.setupGraph();
    camera.enumerateDevices();
    camera.selectDevice(0);
    camera.enumerateFormats();
    camera.selectFormat(0, 0);
    bool ok = false;
    camera.init(ok);
    if (!ok || !camera.start()) {
      state.SkipWithError("camera did not start");
      return;
    }
    fakes::FakeCaptureSession& session = *backend.lastSession();

    std::vector<Clock::time_point> arrivals(kSamples + 1);
    LatencySink sink(arrivals);
    CaptureChannel channel;
    ChannelInitRecord record;
    record.camera = &camera;
    channel.init(record);
    channel.setFps(kFps);
    channel.setFrameCallback(ChannelFrameCallback::bind(&sink, &LatencySink::onFrame));
    addGrid(*channel.createRegionManager(), sink);

    const std::clock_t cpuStart = std::clock();
    channel.start();
    std::vector<std::uint8_t> sample(kFrameBytes);
    // The camera's own clock: not locked to the channel's timer.
    auto next = Clock::now();
    for (std::uint32_t number = 1; number <= kSamples; ++number) {
      paintSample(sample.data(), number);
      next += std::chrono::microseconds(1'000'000 / kFps + 311);
      std::this_thread::sleep_until(next);
      arrivals[number] = Clock::now();
      session.deliver(sample.data(), sample.size());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    channel.stop();
    const double cpuMs =
        1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    camera.stop();

    const int ticks = std::max(sink.ticks, 1);
    state.counters["samples_measured"] = static_cast<double>(sink.latenciesMs.size());
    state.counters["latency_median_ms"] = percentile(sink.latenciesMs, 0.5);
    state.counters["latency_p99_ms"] = percentile(sink.latenciesMs, 0.99);
    state.counters["cpu_ms_per_frame"] = cpuMs / ticks;
    state.counters["cpu_percent_of_core"] = cpuMs / ticks * kFps / 10.0;
  }
}
BENCHMARK(BM_SampleToZoneHitAt15Fps)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace tessary

BENCHMARK_MAIN();
