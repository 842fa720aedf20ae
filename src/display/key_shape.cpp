#include "display/key_shape.h"

#include <algorithm>
#include <cstring>

namespace tessary {

void KeyShape::reset(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  mask_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0);
  rectangles_.clear();
}

bool KeyShape::clip(ShapeRect& area) const {
  const int left = std::max(area.x, 0);
  const int top = std::max(area.y, 0);
  const int right = std::min(area.x + std::max(area.width, 0), width_);
  const int bottom = std::min(area.y + std::max(area.height, 0), height_);
  if (left >= right || top >= bottom) return false;
  area = ShapeRect{left, top, right - left, bottom - top};
  return true;
}

void KeyShape::paint(ShapeRect area, const std::uint8_t* pixels, int pitch, std::uint32_t key) {
  const ShapeRect requested = area;
  if (pixels == nullptr || !clip(area)) return;
  // Step into the source by as much as clipping cut off.
  pixels += static_cast<std::ptrdiff_t>(area.y - requested.y) * pitch +
            static_cast<std::ptrdiff_t>(area.x - requested.x) * 4;
  key &= 0xFFFFFFu;
  for (int row = 0; row < area.height; ++row) {
    const std::uint8_t* in = pixels + static_cast<std::ptrdiff_t>(row) * pitch;
    std::uint8_t* out = mask_.data() + static_cast<std::size_t>(area.y + row) * width_ + area.x;
    // Written so the compiler can vectorise it: this runs over every pixel
    // of the render area after a change beneath it.
    for (int column = 0; column < area.width; ++column) {
      std::uint32_t pixel;
      std::memcpy(&pixel, in + static_cast<std::ptrdiff_t>(column) * 4, sizeof pixel);
      out[column] = static_cast<std::uint8_t>(((pixel ^ key) & 0xFFFFFFu) == 0);
    }
  }
}

void KeyShape::cover(ShapeRect area) {
  if (!clip(area)) return;
  for (int row = 0; row < area.height; ++row) {
    std::memset(mask_.data() + static_cast<std::size_t>(area.y + row) * width_ + area.x, 0,
                static_cast<std::size_t>(area.width));
  }
}

std::span<const ShapeRect> KeyShape::rectangles() {
  rectangles_.clear();
  std::size_t bandBegin = 0;  // the rectangles of the band the last row joined
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* row = mask_.data() + static_cast<std::size_t>(y) * width_;
    const std::uint8_t* const end = row + width_;
    const std::size_t rowBegin = rectangles_.size();
    for (const std::uint8_t* at = row; at < end;) {
      const auto* start = static_cast<const std::uint8_t*>(std::memchr(at, 1, end - at));
      if (start == nullptr) break;
      const auto* stop = static_cast<const std::uint8_t*>(std::memchr(start, 0, end - start));
      if (stop == nullptr) stop = end;
      rectangles_.push_back(ShapeRect{static_cast<int>(start - row), y, static_cast<int>(stop - start), 1});
      at = stop;
    }
    // A row with the same runs as the band just above it extends that band.
    const std::size_t bandSize = rowBegin - bandBegin;
    const std::size_t rowSize = rectangles_.size() - rowBegin;
    bool same = rowSize != 0 && rowSize == bandSize &&
                rectangles_[bandBegin].y + rectangles_[bandBegin].height == y;
    for (std::size_t i = 0; same && i < rowSize; ++i) {
      same = rectangles_[bandBegin + i].x == rectangles_[rowBegin + i].x &&
             rectangles_[bandBegin + i].width == rectangles_[rowBegin + i].width;
    }
    if (same) {
      for (std::size_t i = bandBegin; i < rowBegin; ++i) ++rectangles_[i].height;
      rectangles_.resize(rowBegin);
    } else {
      bandBegin = rowBegin;
    }
  }
  return rectangles_;
}

}  // namespace tessary
