// A per-pixel mask for one region: which pixels of the region take part.
//
// Kept in four variants (unchanged, mirrored, flipped, both) so that the
// detector can pick the one matching the picture orientation without copying.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tessary {

class RegionMask {
 public:
  enum Variant : std::int32_t { kUnchanged = 0, kMirrored = 1, kFlipped = 2, kMirroredFlipped = 3 };

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
  // width x height bytes of the variant (0..3; other values are masked to two bits).
  std::span<const std::uint8_t> variant(std::int32_t variant) const;

 private:
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::uint32_t pixelCount_ = 0;
  std::array<std::vector<std::uint8_t>, 4> variants_;
};

}  // namespace tessary
