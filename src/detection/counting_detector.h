// What both detection methods share: every DetectionInterface slot but
// `detect`, answered from the frame history, the changed-pixel counter, and
// the set-up of a detect pass.
#pragma once

#include <cstddef>
#include <cstdint>

#include "detection/detection_interface.h"
#include "detection/motion_detector.h"
#include "detection/scan_window.h"

namespace tessary {

class CountingDetector : public MotionDetector, public DetectionInterface {
 public:
  CountingDetector(std::int32_t width, std::int32_t height, std::int32_t nativeOrientation)
      : MotionDetector(width, height, nativeOrientation) {}

  bool processFrame(const std::uint8_t*& frame) override {
    return MotionDetector::processFrame(frame);
  }
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

 protected:
  // What a detect pass reads once before it scans.
  struct ScanSetup {
    detail::ScanWindow window;                // the part of the region on the frame
    const std::uint8_t* maskBytes = nullptr;  // for the current mode; null without a mask
    bool highlight = false;
    PixelColour colour;  // the highlight colour
  };

  // False before the first frame and when `mask` does not fit the region:
  // detect then leaves both results alone.
  bool canScan(const DetectionRegion& region, const RegionMask* mask) const;
  ScanSetup scanSetup(const DetectionRegion& region, const RegionMask* mask) const;

  // Paints the counted pixel at byte `offset` of the output picture.
  void paint(std::ptrdiff_t offset, PixelColour colour) {
    std::uint8_t* out = output_.data() + offset;
    out[2] = colour.red;
    out[1] = colour.green;
    out[0] = colour.blue;
  }

  std::uint32_t counter_ = 0;
};

}  // namespace tessary
