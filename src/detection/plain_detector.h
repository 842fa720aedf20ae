// Detection method 0: a pixel counts when it changed by more than the level in
// all three channels, with no neighbour confirmation and no bounding box. Each
// evaluation starts both results from zero, so a hit never carries over.
#pragma once

#include <cstdint>

#include "detection/detection_interface.h"
#include "detection/motion_detector.h"

namespace tessary {

class PlainDetector final : public MotionDetector, public DetectionInterface {
 public:
  PlainDetector(std::int32_t width, std::int32_t height, std::int32_t nativeOrientation);

  void detect(DetectionResult& current, DetectionResult& previous, const DetectionRegion& region,
              const RegionMask* mask) override;
  bool processFrame(const std::uint8_t*& frame) override;
  void resetCounter() override { counter_ = 0; }
  std::int32_t mode() const override { return FrameHistory::mode(); }
  std::int32_t nativeOrientation() const override { return FrameHistory::nativeOrientation(); }
  void transformRect(std::int32_t& x, std::int32_t& y, std::int32_t width,
                     std::int32_t height) const override;
  void transformRectBetween(std::int32_t a, std::int32_t b, std::int32_t& x, std::int32_t& y,
                            std::int32_t width, std::int32_t height, std::int32_t frameWidth,
                            std::int32_t frameHeight) const override;

  DetectionInterface& detectionInterface() override { return *this; }

  std::uint32_t counter() const { return counter_; }

 private:
  std::uint32_t counter_ = 0;
};

}  // namespace tessary
