// Detection method 1, the one in use: a pixel counts when it changed in all
// three channels and also stands out from one of its neighbours in the new
// frame, so a uniformly brightened flat area counts nothing.
#pragma once

#include <cstdint>

#include "detection/detection_interface.h"
#include "detection/motion_detector.h"

namespace tessary {

class NeighbourDetector final : public MotionDetector, public DetectionInterface {
 public:
  NeighbourDetector(std::int32_t width, std::int32_t height, std::int32_t nativeOrientation);

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

  // Pixels counted since the last resetCounter (detection thread only).
  std::uint32_t counter() const { return counter_; }

 private:
  std::uint32_t counter_ = 0;
};

}  // namespace tessary
