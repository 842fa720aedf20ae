#include "detection/region_mask.h"

#include <cstddef>
#include <utility>

namespace tessary {

bool RegionMask::create(std::span<const std::uint8_t> bytes, std::int32_t width,
                        std::int32_t height, RegionMask& out) {
  if (width <= 0 || height <= 0) return false;
  const std::size_t columns = static_cast<std::size_t>(width);
  const std::size_t rows = static_cast<std::size_t>(height);
  // A mask never exceeds a region that could exist on a frame by much; the
  // bound keeps the size product from overflowing.
  if (columns > 65536 || rows > 65536) return false;
  const std::size_t size = columns * rows;
  if (bytes.size() < size) return false;

  RegionMask mask;
  mask.width_ = width;
  mask.height_ = height;
  for (auto& variant : mask.variants_) variant.resize(size);
  std::uint32_t count = 0;
  for (std::size_t row = 0; row < rows; ++row) {
    const std::size_t flippedRow = rows - 1 - row;
    for (std::size_t column = 0; column < columns; ++column) {
      const std::uint8_t value = bytes[row * columns + column];
      if (value != 0) ++count;
      const std::size_t mirroredColumn = columns - 1 - column;
      mask.variants_[kUnchanged][row * columns + column] = value;
      mask.variants_[kMirrored][row * columns + mirroredColumn] = value;
      mask.variants_[kFlipped][flippedRow * columns + column] = value;
      mask.variants_[kMirroredFlipped][flippedRow * columns + mirroredColumn] = value;
    }
  }
  mask.pixelCount_ = count;
  out = std::move(mask);
  return true;
}

std::span<const std::uint8_t> RegionMask::variant(std::int32_t variant) const {
  return variants_[static_cast<std::size_t>(variant & 3)];
}

}  // namespace tessary
