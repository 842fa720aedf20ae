// A camera whose frames are made up front; the test hands them to the
// consumer one at a time, as a streaming thread would, at chosen times.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/frame.h"
#include "common/frame_source.h"

namespace tessary::fakes {

using Frame = std::vector<std::uint8_t>;

inline Frame flatFrame(std::uint8_t level) { return Frame(kFrameBytes, level); }

// A checkerboard of 0 and 200 over `base`: every pixel differs from its
// neighbours, so the neighbour-confirmed detector counts about half as changed.
inline Frame checkeredFrame(std::uint8_t base) {
  Frame frame = flatFrame(base);
  for (std::size_t at = 0; at < frame.size(); at += kFrameBytesPerPixel) {
    const std::size_t pixel = at / kFrameBytesPerPixel;
    const bool white = (pixel / kFrameWidth + pixel % kFrameWidth) % 2 == 0;
    frame[at] = frame[at + 1] = frame[at + 2] = white ? 200 : 0;
  }
  return frame;
}

class ScriptedFrameSource final : public FrameSource {
 public:
  explicit ScriptedFrameSource(std::vector<Frame> frames = {}) : frames_(std::move(frames)) {}

  bool getSize(std::int32_t& width, std::int32_t& height) override {
    width = kFrameWidth;
    height = kFrameHeight;
    return true;
  }
  void setFrameConsumer(FrameConsumer* consumer) override { consumer_ = consumer; }

  // Hands frame `index` (modulo the script) to the consumer, arriving at `at`.
  void deliver(std::size_t index, FrameClock::time_point at = FrameClock::now()) {
    const Frame& frame = frames_[index % frames_.size()];
    if (consumer_ != nullptr) consumer_->onFrame(FrameView{frame.data(), frame.size(), at});
  }

 private:
  std::vector<Frame> frames_;
  FrameConsumer* consumer_ = nullptr;
};

}  // namespace tessary::fakes
