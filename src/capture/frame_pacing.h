// Which of a camera's frames a channel processes, decided as each arrives.
//
// The processing rate is 15 a second. A camera that delivers up to 1.2 times
// that rate has every frame processed: a camera's real rate is never exactly
// its nominal one, and merging or repeating frames would change which zones
// fire. A faster camera is thinned evenly, every n-th frame, n the camera's
// rate over the processing rate rounded (at least 2): 30 fps gives every
// second frame, 60 fps every fourth. The camera's rate is the median
// interval of the last 16 arrivals, so a late frame and the early ones after
// it change nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/frame_source.h"

namespace tessary {

class FramePacing {
 public:
  static constexpr double kEveryFrameMargin = 1.2;

  explicit FramePacing(std::int32_t processingRate);
  // Forgets every arrival (a camera started again).
  void reset();
  // Once per arriving frame, in arrival order: whether to process it.
  bool admit(FrameClock::time_point arrival);
  // Frames a second by the window's median interval; 0 while too few arrived.
  double cameraRate() const;
  // 1 while every frame is processed, else n of "every n-th frame".
  std::int32_t stride() const { return stride_; }

 private:
  static constexpr std::size_t kWindow = 16;
  static constexpr std::size_t kFewestToMeasure = 4;

  std::int32_t processingRate_;
  std::array<FrameClock::time_point, kWindow> arrivals_{};
  std::size_t seen_ = 0;
  std::int32_t stride_ = 1;
  std::int32_t sinceAdmitted_ = 0;  // frames skipped since the last one processed
};

}  // namespace tessary
