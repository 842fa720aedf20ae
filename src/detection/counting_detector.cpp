#include "detection/counting_detector.h"

#include <cstddef>

#include "detection/rect_transform.h"
#include "detection/region_mask.h"

namespace tessary {

CountingDetector::CountingDetector(std::int32_t width, std::int32_t height,
                                   std::int32_t nativeOrientation,
                                   detail::ChangeScores::Rule rule,
                                   detail::InstructionSet instructionSet)
    : MotionDetector(width, height, nativeOrientation, instructionSet),
      scores_(width, height, rule, kernels_) {}

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

void CountingDetector::countRegion(const DetectionRegion& region, const RegionMask* mask,
                                   DetectionResult& result) {
  const detail::ScanWindow window = detail::clipToFrame(region, width_, height_);
  if (window.empty()) {
    result = DetectionResult::reset();
    return;
  }

  const detail::ChangeScores::Bits bits =
      scores_.bits(region.level, frameNumber_, currentFrame_, previousFrame_);
  const PictureSetting highlight = frameHighlight();
  detail::CountRequest request;
  request.bits = bits.data;
  request.bitStride = bits.stride;
  request.xStart = window.xStart;
  request.yStart = window.yStart;
  request.xEnd = window.xEnd;
  request.yEnd = window.yEnd;
  if (mask != nullptr) {
    request.mask = mask->variant(detail::maskVariantForMode(FrameHistory::mode())).data();
    request.maskStride = region.width;
    request.maskX = region.x;
    request.maskY = region.y;
  }
  if (highlight.flag != 0) {
    request.paint = highlightTarget();
    request.paintStride = std::ptrdiff_t{width_} * 4;
    request.red = highlight.colour.red;
    request.green = highlight.colour.green;
    request.blue = highlight.colour.blue;
  }
  kernels_.countRegion(request, result);
  counter_ += result.count;
}

}  // namespace tessary
