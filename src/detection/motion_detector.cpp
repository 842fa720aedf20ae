#include "detection/motion_detector.h"

#include <cstring>

#include "detection/detection_region.h"

namespace tessary {

MotionDetector::MotionDetector(std::int32_t width, std::int32_t height,
                               std::int32_t nativeOrientation,
                               detail::InstructionSet instructionSet)
    : FrameHistory(width, height, nativeOrientation, instructionSet), output_(frameBytes(), 0) {}

MotionDetector::~MotionDetector() = default;

bool MotionDetector::processFrame(const std::uint8_t*& frame) {
  if (frame == nullptr || frameBytes() == 0) return false;
  const std::size_t bytes = frameBytes();

  const PictureSetting fill = FrameHistory::fill();
  if (fill.flag != 0) {
    const PixelColour colour = fill.colour;
    if (colour == PixelColour{}) {
      std::memset(output_.data(), 0, bytes);
    } else {
      for (std::size_t offset = 0; offset < bytes; offset += 4) {
        output_[offset + 2] = colour.red;
        output_[offset + 1] = colour.green;
        output_[offset + 0] = colour.blue;
      }
    }
  }
  // Without fill the output starts as the frame, copied while it is split.
  takeFrame(frame, fill.flag != 0 ? nullptr : output_.data());
  frame = output_.data();
  return true;
}

void MotionDetector::setDefaultSensitivity(std::int32_t sensitivity) {
  defaultLevel_.store(levelForSensitivity(sensitivity), std::memory_order_relaxed);
}

}  // namespace tessary
