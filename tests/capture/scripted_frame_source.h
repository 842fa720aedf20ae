// A camera for channel tests, and a timer device for timer and channel tests.
// Frames are prepared up front and never change, so any thread may read them;
// which one is "newest" is an atomic index.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/frame.h"
#include "common/frame_source.h"
#include "zones/periodic_timer.h"

namespace tessary::fakes {

using Frame = std::vector<std::uint8_t>;

inline Frame flatFrame(std::uint8_t level) { return Frame(kFrameBytes, level); }

// `base` with a checkerboard of 0 and 200 painted over (x, y, width, height),
// in buffer rows. Every painted pixel differs from its neighbours, so the
// neighbour-confirmed detector counts about half of the area as changed.
inline Frame checkeredFrame(std::uint8_t base, int x, int y, int width, int height) {
  Frame frame = flatFrame(base);
  for (int row = y; row < y + height; ++row) {
    for (int column = x; column < x + width; ++column) {
      const std::size_t at = static_cast<std::size_t>(row) * kFrameStride +
                             static_cast<std::size_t>(column) * kFrameBytesPerPixel;
      frame[at] = frame[at + 1] = frame[at + 2] = ((row + column) % 2 == 0) ? 200 : 0;
    }
  }
  return frame;
}

class ScriptedFrameSource final : public FrameSource {
 public:
  explicit ScriptedFrameSource(std::vector<Frame> frames = {}, std::int32_t orientation = 0)
      : frames_(std::move(frames)), orientation_(orientation) {}

  const char* getName() override { return "Scripted camera"; }
  std::int32_t getMaxFrameRate() override { return 30; }
  bool getSize(std::int32_t& width, std::int32_t& height) override {
    width = width_;
    height = height_;
    return true;
  }
  bool getFrame(const std::uint8_t*& frame) override {
    const int index = index_.load();
    if (index < 0 || frames_.empty()) return false;
    frame = frames_[static_cast<std::size_t>(index) % frames_.size()].data();
    return true;
  }
  std::int32_t getOrientation() override { return orientation_; }
  bool start() override { return ++starts_ > 0; }
  bool stop() override { return ++stops_ > 0; }

  // Which frame getFrame hands out next; -1 for "no frame yet".
  void show(int index) { index_ = index; }
  void advance() { ++index_; }
  void setSize(std::int32_t width, std::int32_t height) {
    width_ = width;
    height_ = height;
  }

  std::atomic<int> starts_{0}, stops_{0};

 private:
  std::vector<Frame> frames_;
  std::int32_t orientation_;
  std::int32_t width_ = kFrameWidth, height_ = kFrameHeight;
  std::atomic<int> index_{-1};
};

// A timer device with chosen limits and failures, recording resolution
// requests. By default its smallest period is longer than any test, so that a
// started channel counts as running while the test drives tick() itself.
class FrozenTimerDevice final : public TimerDevice {
 public:
  std::uint32_t getCapabilities(TimerCapabilities& capabilities) override {
    capabilities = limits;
    return failure;
  }
  std::uint32_t beginPeriod(std::uint32_t resolution) override {
    if (beginError == kTimerNoError) ++held;
    lastBegun = resolution;
    return beginError;
  }
  void endPeriod(std::uint32_t resolution) override {
    --held;
    lastEnded = resolution;
  }

  TimerCapabilities limits{1'000'000, 1'000'000};
  std::uint32_t failure = kTimerNoError, beginError = kTimerNoError;
  int held = 0;
  std::uint32_t lastBegun = 0, lastEnded = 0;
};

}  // namespace tessary::fakes
