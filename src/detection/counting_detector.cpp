#include "detection/counting_detector.h"

#include <cstddef>


namespace tessary {

CountingDetector::CountingDetector(std::int32_t width, std::int32_t height,
                                   detail::ChangeScores::Rule rule,
                                   detail::InstructionSet instructionSet)
    : MotionDetector(width, height, instructionSet), scores_(width, height, rule, kernels_) {}

void CountingDetector::countRegion(const DetectionRegion& region, MaskView mask,
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
  if (!mask.empty()) {
    request.mask = mask.pixels;
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
