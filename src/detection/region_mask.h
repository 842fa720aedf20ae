// A per-pixel mask for one region: which pixels of the region take part.
//
// Kept in four variants (unchanged, mirrored, flipped, both), so that the
// region manager hands the detector the one that lies as the zones are turned
// on the frame, without copying.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/frame.h"
#include "detection/detection_region.h"

namespace tessary {

class RegionMask {
 public:
  // `bytes` holds width x height bytes, rows top to bottom; non-zero takes the
  // pixel into account. Returns false (and creates nothing) for a non-positive
  // size or too few bytes.
  static bool create(std::span<const std::uint8_t> bytes, std::int32_t width,
                     std::int32_t height, RegionMask& out);

  RegionMask() = default;

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  // Number of non-zero bytes.
  std::uint32_t pixelCount() const { return pixelCount_; }
  // The mask as it lies on the frame when the zones are turned `turn`.
  MaskView turned(Orientation turn) const;

 private:
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::uint32_t pixelCount_ = 0;
  // Indexed by mirrored + 2 x flipped.
  std::array<std::vector<std::uint8_t>, 4> variants_;
};

}  // namespace tessary
