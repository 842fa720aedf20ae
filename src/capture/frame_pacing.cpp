#include "capture/frame_pacing.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tessary {

FramePacing::FramePacing(std::int32_t processingRate)
    : processingRate_(std::max(processingRate, 1)) {}

void FramePacing::reset() {
  seen_ = 0;
  stride_ = 1;
  sinceAdmitted_ = 0;
}

double FramePacing::cameraRate() const {
  const std::size_t measured = std::min(seen_, kWindow);
  if (measured < kFewestToMeasure) return 0.0;
  // The median interval: a frame held up and the ones that then come at
  // once are the window's extremes and leave it alone.
  std::array<FrameClock::duration, kWindow - 1> intervals{};
  const std::size_t count = measured - 1;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t newer = seen_ - 1 - i;
    intervals[i] = arrivals_[newer % kWindow] - arrivals_[(newer - 1) % kWindow];
  }
  const auto middle = intervals.begin() + static_cast<std::ptrdiff_t>(count / 2);
  std::nth_element(intervals.begin(), middle, intervals.begin() + static_cast<std::ptrdiff_t>(count));
  const double seconds = std::chrono::duration<double>(*middle).count();
  return seconds > 0.0 ? 1.0 / seconds : 0.0;
}

bool FramePacing::admit(FrameClock::time_point arrival) {
  arrivals_[seen_ % kWindow] = arrival;
  ++seen_;
  const double rate = cameraRate();
  if (rate <= kEveryFrameMargin * processingRate_) {
    stride_ = 1;
  } else {
    stride_ = std::max<std::int32_t>(2, static_cast<std::int32_t>(std::lround(rate / processingRate_)));
  }
  if (++sinceAdmitted_ < stride_) return false;
  sinceAdmitted_ = 0;
  return true;
}

}  // namespace tessary
