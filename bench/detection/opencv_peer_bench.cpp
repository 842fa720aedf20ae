// The peer the detection bars are measured against, in the same program and
// run: OpenCV's typical motion pipeline over the same frames and zones. The
// two frames' absolute difference, to grey, thresholded at the level the
// default sensitivity gives; then each zone's changed pixels counted over its
// rectangle, a hit where they reach the default threshold's share. One thread,
// as our detector uses one.
//
// BM_OpenCv_FullFrameZone, BM_OpenCv_Grid8x8, BM_OpenCv_Grid40x30 pair with
// BM_FullFrameZone, BM_Grid8x8, BM_Grid40x30; tools/detection_bars.py prints
// the ratios against their targets.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <vector>

#include "common/frame.h"
#include "detection/detection_region.h"
#include "detection/moving_pattern.h"

namespace tessary {
namespace {

void runOpenCv(benchmark::State& state, int columns, int rows) {
  cv::setNumThreads(1);
  auto frames = testing::movingPattern(16);
  std::vector<cv::Mat> pictures;
  for (auto& frame : frames) pictures.emplace_back(kFrameHeight, kFrameWidth, CV_8UC4, frame.data());
  const int cellWidth = kFrameWidth / columns;
  const int cellHeight = kFrameHeight / rows;
  const auto required = static_cast<int>(requiredCountFor(std::int64_t{cellWidth} * cellHeight, 20));
  const double level = levelForSensitivity(50);

  cv::Mat difference, grey, changed;
  std::size_t tick = 1;
  std::uint64_t hits = 0;
  for (auto _ : state) {
    const cv::Mat& current = pictures[tick % pictures.size()];
    const cv::Mat& previous = pictures[(tick - 1) % pictures.size()];
    ++tick;
    cv::absdiff(current, previous, difference);
    cv::cvtColor(difference, grey, cv::COLOR_BGRA2GRAY);
    cv::threshold(grey, changed, level, 255, cv::THRESH_BINARY);
    for (int row = 0; row < rows; ++row) {
      for (int column = 0; column < columns; ++column) {
        const cv::Rect cell(column * cellWidth, row * cellHeight, cellWidth, cellHeight);
        if (cv::countNonZero(changed(cell)) >= required) ++hits;
      }
    }
    benchmark::DoNotOptimize(hits);
  }
  state.counters["hits/frame"] =
      benchmark::Counter(static_cast<double>(hits) / static_cast<double>(state.iterations()));
  state.counters["zones"] = columns * rows;
}

void BM_OpenCv_FullFrameZone(benchmark::State& state) { runOpenCv(state, 1, 1); }
void BM_OpenCv_Grid8x8(benchmark::State& state) { runOpenCv(state, 8, 8); }
void BM_OpenCv_Grid40x30(benchmark::State& state) { runOpenCv(state, 40, 30); }

BENCHMARK(BM_OpenCv_FullFrameZone);
BENCHMARK(BM_OpenCv_Grid8x8);
BENCHMARK(BM_OpenCv_Grid40x30);

}  // namespace
}  // namespace tessary
