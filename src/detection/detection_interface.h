// What a region manager needs from a detector: per-region differencing and the
// orientation mapping between the client's picture and the camera buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "detection/detection_region.h"

namespace tessary {

class RegionMask;

class DetectionInterface {
 public:
  // Differences the current and previous frames inside `region`: moves
  // `current` into `previous` and counts afresh into `current`. `mask` may be
  // null. Called on the detection thread only.
  virtual void detect(DetectionResult& current, DetectionResult& previous,
                      const DetectionRegion& region, const RegionMask* mask) {
    (void)current;
    (void)previous;
    (void)region;
    (void)mask;
  }
  // For each region in turn, the same as resetCounter() and then
  // detect(region.current, region.previous, region, masks[i]), in one call:
  // a region manager evaluates its regions a batch at a time through this.
  virtual void detectEach(std::span<DetectionRegion* const> regions,
                          std::span<const RegionMask* const> masks) {
    for (std::size_t i = 0; i < regions.size() && i < masks.size(); ++i) {
      resetCounter();
      detect(regions[i]->current, regions[i]->previous, *regions[i], masks[i]);
    }
  }
  // Takes the newest frame (width x height x 4 bytes); on success replaces the
  // pointer with the detector's output picture. False when `frame` is null.
  virtual bool processFrame(const std::uint8_t*& frame) {
    (void)frame;
    return false;
  }
  virtual void resetCounter() = 0;
  // Current picture orientation (bit 0 mirror, bit 1 flip).
  virtual std::int32_t mode() const = 0;
  // The camera buffer's own orientation, fixed for the detector's life.
  virtual std::int32_t nativeOrientation() const = 0;
  // Applies the native orientation alone: 1 mirror, 2 flip, 3 both.
  virtual void transformRect(std::int32_t& x, std::int32_t& y, std::int32_t width,
                             std::int32_t height) const = 0;
  // Maps a rectangle between orientation `a` (0 or 2; others leave it alone)
  // and mode `b` by the bits of a XOR b. A frame size of 0 means the detector's.
  virtual void transformRectBetween(std::int32_t a, std::int32_t b, std::int32_t& x,
                                    std::int32_t& y, std::int32_t width, std::int32_t height,
                                    std::int32_t frameWidth, std::int32_t frameHeight) const = 0;

 protected:
  // Detectors are owned and destroyed through their MotionDetector side.
  ~DetectionInterface() = default;
};

}  // namespace tessary
