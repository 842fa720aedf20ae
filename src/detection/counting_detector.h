// What both detection methods share: every DetectionInterface slot but
// `detect`, answered from the frame history, the changed-pixel counter, and
// counting a region from the frame's change bits.
#pragma once

#include <cstdint>

#include "detection/change_scores.h"
#include "detection/detection_interface.h"
#include "detection/motion_detector.h"
#include "detection/scan_window.h"

namespace tessary {

class CountingDetector : public MotionDetector, public DetectionInterface {
 public:
  bool processFrame(const std::uint8_t*& frame) override {
    return MotionDetector::processFrame(frame);
  }
  void resetCounter() override { counter_ = 0; }

  DetectionInterface& detectionInterface() override { return *this; }

  // Pixels counted since the last resetCounter (detection thread only).
  std::uint32_t counter() const { return counter_; }

 protected:
  CountingDetector(std::int32_t width, std::int32_t height, detail::ChangeScores::Rule rule,
                   detail::InstructionSet instructionSet);

  // False when `mask` does not fit the region (or the frame is empty): detect
  // then leaves both results alone.
  bool canScan(const DetectionRegion& region, MaskView mask) const {
    return frameBytes() != 0 && mask.fits(region);
  }
  // Writes to `result` the pixels of the region on the frame that the rule
  // counts at the region's level, within the mask if there is one: their
  // number and bounding box (DetectionResult::reset() when there are none).
  // Paints them when highlighting and adds them to the counter.
  void countRegion(const DetectionRegion& region, MaskView mask, DetectionResult& result);

  std::uint32_t counter_ = 0;
  detail::ChangeScores scores_;
};

}  // namespace tessary
