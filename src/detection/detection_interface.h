// What a region manager needs from a detector: counting the changed pixels
// of its regions on the newest frame. Regions arrive in frame pixels, already
// placed as the zones are turned; the detector knows nothing of turning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "detection/detection_region.h"

namespace tessary {

class DetectionInterface {
 public:
  // Differences the current and previous frames inside `region`: moves
  // `current` into `previous` and counts afresh into `current`. A mask that
  // does not fit the region leaves both alone. Detection thread only.
  virtual void detect(DetectionResult& current, DetectionResult& previous,
                      const DetectionRegion& region, MaskView mask) {
    (void)current;
    (void)previous;
    (void)region;
    (void)mask;
  }
  // For each region in turn, the same as resetCounter() and then
  // detect(region.current, region.previous, region, masks[i]), in one call:
  // a region manager evaluates its regions a batch at a time through this.
  virtual void detectEach(std::span<DetectionRegion* const> regions,
                          std::span<const MaskView> masks) {
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

 protected:
  // Detectors are owned and destroyed through their MotionDetector side.
  ~DetectionInterface() = default;
};

}  // namespace tessary
