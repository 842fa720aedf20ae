#include "detection/motion_detector.h"

#include <cstring>

#include "detection/detection_region.h"

namespace tessary {

MotionDetector::MotionDetector(std::int32_t width, std::int32_t height,
                               detail::InstructionSet instructionSet)
    : FrameHistory(width, height, instructionSet),
      output_(frameBytes(), 0),
      picture_(output_.data()) {}

MotionDetector::~MotionDetector() = default;

bool MotionDetector::processFrame(const std::uint8_t*& frame) {
  if (frame == nullptr || frameBytes() == 0) return false;
  const std::size_t bytes = frameBytes();

  const PictureSetting fill = FrameHistory::fill();
  // Read once per frame, so that a frame is painted or left alone as a whole
  // even when the setting changes while its regions are evaluated.
  frameHighlight_ = FrameHistory::highlight();
  if (fill.flag != 0 && fill.colour == PixelColour{}) {
    takeFrame(frame, nullptr);
    std::memset(output_.data(), 0, bytes);
    picture_ = output_.data();
  } else if (fill.flag != 0) {
    // The unused fourth byte of each pixel stays the frame's.
    takeFrame(frame, output_.data());
    const PixelColour colour = fill.colour;
    for (std::size_t offset = 0; offset < bytes; offset += 4) {
      output_[offset + 2] = colour.red;
      output_[offset + 1] = colour.green;
      output_[offset + 0] = colour.blue;
    }
    picture_ = output_.data();
  } else if (frameHighlight_.flag != 0) {
    // The picture to paint on starts as the frame, copied while it is split.
    takeFrame(frame, output_.data());
    picture_ = output_.data();
  } else {
    // Nothing will change the picture: the frame itself is handed on.
    takeFrame(frame, nullptr);
    picture_ = frame;
  }
  frame = picture_;
  return true;
}

void MotionDetector::setDefaultSensitivity(std::int32_t sensitivity) {
  defaultLevel_.store(levelForSensitivity(sensitivity), std::memory_order_relaxed);
}

}  // namespace tessary
