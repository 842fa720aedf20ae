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
      mask.variants_[0][row * columns + column] = value;
      mask.variants_[1][row * columns + mirroredColumn] = value;
      mask.variants_[2][flippedRow * columns + column] = value;
      mask.variants_[3][flippedRow * columns + mirroredColumn] = value;
    }
  }
  mask.pixelCount_ = count;
  out = std::move(mask);
  return true;
}

MaskView RegionMask::turned(Orientation turn) const {
  const std::size_t variant = (turn.mirrored ? 1u : 0u) + (turn.flipped ? 2u : 0u);
  return MaskView{variants_[variant].data(), width_, height_};
}

}  // namespace tessary
