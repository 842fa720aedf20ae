#include "detection/counting_detector.h"

#include "detection/rect_transform.h"
#include "detection/region_mask.h"

namespace tessary {

void CountingDetector::transformRect(std::int32_t& x, std::int32_t& y, std::int32_t width,
                                     std::int32_t height) const {
  detail::applyOrientationBits(FrameHistory::nativeOrientation() & 3, x, y, width, height, width_,
                               height_);
}

void CountingDetector::transformRectBetween(std::int32_t a, std::int32_t b, std::int32_t& x,
                                            std::int32_t& y, std::int32_t width,
                                            std::int32_t height, std::int32_t frameWidth,
                                            std::int32_t frameHeight) const {
  detail::transformBetween(a, b, x, y, width, height, frameWidth != 0 ? frameWidth : width_,
                           frameHeight != 0 ? frameHeight : height_);
}

bool CountingDetector::canScan(const DetectionRegion& region, const RegionMask* mask) const {
  if (currentFrame_.empty()) return false;
  return mask == nullptr || (mask->width() == region.width && mask->height() == region.height);
}

CountingDetector::ScanSetup CountingDetector::scanSetup(const DetectionRegion& region,
                                                        const RegionMask* mask) const {
  const PictureSetting highlight = FrameHistory::highlight();
  ScanSetup setup;
  setup.window = detail::clipToFrame(region, width_, height_);
  if (mask != nullptr) {
    setup.maskBytes = mask->variant(detail::maskVariantForMode(FrameHistory::mode())).data();
  }
  setup.highlight = highlight.flag != 0;
  setup.colour = highlight.colour;
  return setup;
}

}  // namespace tessary
