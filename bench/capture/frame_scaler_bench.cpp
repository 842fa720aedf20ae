// The per-frame cost of scaling a camera picture into the 160 x 120 frame,
// at the sizes cameras commonly open at, against a plain copy of the same
// picture (the least any delivery of it costs).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "capture/frame_scaler.h"
#include "common/frame.h"

namespace tessary {
namespace {

void scaleFrame(benchmark::State& state, ScalerPixels pixels, int bytesPerPixel) {
  const int width = int(state.range(0)), height = int(state.range(1));
  std::vector<std::uint8_t> picture(std::size_t(width) * height * bytesPerPixel);
  std::mt19937 random(1);
  for (auto& byte : picture) byte = static_cast<std::uint8_t>(random());
  FrameScaler scaler;
  scaler.configure({pixels, width, height, 0, false});
  std::vector<std::uint8_t> frame(kFrameBytes);
  for (auto _ : state) {
    scaler.scale(picture, frame);
    benchmark::DoNotOptimize(frame.data());
  }
}

void BM_ScaleBgrx(benchmark::State& state) { scaleFrame(state, ScalerPixels::kBgrx, 4); }
void BM_ScaleBgr(benchmark::State& state) { scaleFrame(state, ScalerPixels::kBgr, 3); }
void BM_ScaleYuyv(benchmark::State& state) { scaleFrame(state, ScalerPixels::kYuyv, 2); }

// The peer: copying the whole picture once.
void BM_CopyBgrx(benchmark::State& state) {
  const std::size_t bytes = std::size_t(state.range(0)) * std::size_t(state.range(1)) * 4;
  std::vector<std::uint8_t> picture(bytes, 1), copy(bytes);
  for (auto _ : state) {
    std::memcpy(copy.data(), picture.data(), bytes);
    benchmark::DoNotOptimize(copy.data());
  }
}

#define TESSARY_CAMERA_SIZES Args({176, 144})->Args({640, 480})->Args({1280, 720})->Args({1920, 1080})
BENCHMARK(BM_ScaleBgrx)->TESSARY_CAMERA_SIZES;
BENCHMARK(BM_ScaleBgr)->Args({640, 480});
BENCHMARK(BM_ScaleYuyv)->TESSARY_CAMERA_SIZES;
BENCHMARK(BM_CopyBgrx)->TESSARY_CAMERA_SIZES;

}  // namespace
}  // namespace tessary

BENCHMARK_MAIN();
