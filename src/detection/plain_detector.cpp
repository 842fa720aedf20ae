#include "detection/plain_detector.h"

#include <cstddef>

#include "detection/rect_transform.h"
#include "detection/region_mask.h"
#include "detection/scan_window.h"

namespace tessary {

PlainDetector::PlainDetector(std::int32_t width, std::int32_t height,
                             std::int32_t nativeOrientation)
    : MotionDetector(width, height, nativeOrientation) {}

bool PlainDetector::processFrame(const std::uint8_t*& frame) {
  return MotionDetector::processFrame(frame);
}

void PlainDetector::detect(DetectionResult& current, DetectionResult& previous,
                           const DetectionRegion& region, const RegionMask* mask) {
  if (currentFrame_.empty()) return;
  const std::int32_t x0 = region.x;
  const std::int32_t y0 = region.y;
  const std::int32_t regionWidth = region.width;
  const int level = region.level;
  if (mask != nullptr && (mask->width() != regionWidth || mask->height() != region.height)) return;

  const detail::ScanWindow window = detail::clipToFrame(region, width_, height_);
  current = DetectionResult{};
  previous = DetectionResult{};
  if (window.empty()) return;

  const std::uint8_t* maskBytes =
      mask != nullptr ? mask->variant(detail::maskVariantForMode(FrameHistory::mode())).data()
                      : nullptr;
  const PictureSetting highlightSetting = FrameHistory::highlight();
  const bool highlight = highlightSetting.flag != 0;
  const PixelColour colour = highlightSetting.colour;
  const std::ptrdiff_t stride = std::ptrdiff_t{width_} * 4;

  std::uint32_t counted = 0;
  for (std::int32_t y = window.yStart; y < window.yEnd; ++y) {
    const std::ptrdiff_t maskRow = std::ptrdiff_t{y - y0} * regionWidth;
    for (std::int32_t x = window.xStart; x < window.xEnd; ++x) {
      if (maskBytes != nullptr && maskBytes[maskRow + (x - x0)] == 0) continue;
      const std::ptrdiff_t offset = std::ptrdiff_t{y} * stride + std::ptrdiff_t{x} * 4;
      if (!detail::differsInAllChannels(currentFrame_.data() + offset,
                                        previousFrame_.data() + offset, level)) {
        continue;
      }
      ++counted;
      if (highlight) {
        std::uint8_t* out = output_.data() + offset;
        out[2] = colour.red;
        out[1] = colour.green;
        out[0] = colour.blue;
      }
    }
  }
  current.count = counted;
  counter_ += counted;
}

void PlainDetector::transformRect(std::int32_t& x, std::int32_t& y, std::int32_t width,
                                  std::int32_t height) const {
  detail::applyOrientationBits(FrameHistory::nativeOrientation() & 3, x, y, width, height, width_,
                               height_);
}

void PlainDetector::transformRectBetween(std::int32_t a, std::int32_t b, std::int32_t& x,
                                         std::int32_t& y, std::int32_t width,
                                         std::int32_t height, std::int32_t frameWidth,
                                         std::int32_t frameHeight) const {
  detail::transformBetween(a, b, x, y, width, height, frameWidth != 0 ? frameWidth : width_,
                           frameHeight != 0 ? frameHeight : height_);
}

}  // namespace tessary
