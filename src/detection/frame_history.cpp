#include "detection/frame_history.h"

#include <algorithm>
#include <cstddef>

namespace tessary {

namespace {

constexpr std::uint32_t pack(std::uint8_t flag, std::uint8_t red, std::uint8_t green,
                             std::uint8_t blue) {
  return (std::uint32_t{flag} << 24) | (std::uint32_t{red} << 16) | (std::uint32_t{green} << 8) |
         std::uint32_t{blue};
}

PixelColour colourOf(std::uint32_t packed) {
  return {static_cast<std::uint8_t>(packed >> 16), static_cast<std::uint8_t>(packed >> 8),
          static_cast<std::uint8_t>(packed)};
}

std::size_t bufferBytes(std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
}

}  // namespace

FrameHistory::FrameHistory(std::int32_t width, std::int32_t height,
                           detail::InstructionSet instructionSet)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      frameBytes_(bufferBytes(width, height)),
      kernels_(detail::changeKernels(instructionSet)),
      previousFrame_(width_, 3 * height_),
      currentFrame_(width_, 3 * height_),
      fill_(pack(0, 0, 0, 0)),
      highlight_(pack(0, 255, 255, 255)) {}

FrameHistory::~FrameHistory() = default;

void FrameHistory::takeFrame(const std::uint8_t* frame, std::uint8_t* copy) {
  // Swapping the buffers saves a copy and allocates nothing.
  previousFrame_.swap(currentFrame_);
  std::uint8_t* const planes[3] = {currentFrame_.row(0), currentFrame_.row(height_),
                                   currentFrame_.row(2 * height_)};
  kernels_.splitChannels(frame, width_, height_, currentFrame_.stride(), planes, copy);
  if (!primed_) {
    previousFrame_.copyFrom(currentFrame_);
    primed_ = true;
  }
  ++frameNumber_;
}

void FrameHistory::frameSize(std::int32_t& width, std::int32_t& height) const {
  width = width_;
  height = height_;
}

void FrameHistory::setFill(std::uint8_t flag, std::uint8_t red, std::uint8_t green,
                           std::uint8_t blue) {
  fill_.store(pack(flag, red, green, blue), std::memory_order_relaxed);
}

void FrameHistory::setHighlight(std::uint8_t flag, std::uint8_t red, std::uint8_t green,
                                std::uint8_t blue) {
  highlight_.store(pack(flag, red, green, blue), std::memory_order_relaxed);
}

std::uint8_t FrameHistory::fillFlag() const {
  return static_cast<std::uint8_t>(fill_.load(std::memory_order_relaxed) >> 24);
}

std::uint8_t FrameHistory::highlightFlag() const {
  return static_cast<std::uint8_t>(highlight_.load(std::memory_order_relaxed) >> 24);
}

PixelColour FrameHistory::fillColour() const {
  return colourOf(fill_.load(std::memory_order_relaxed));
}

PixelColour FrameHistory::highlightColour() const {
  return colourOf(highlight_.load(std::memory_order_relaxed));
}

}  // namespace tessary
