// A camera for channel tests: frames are prepared up front and never change,
// so any thread may read them; which one is "newest" is an atomic index.
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

// A frame of one grey level.
inline Frame flatFrame(std::uint8_t level) { return Frame(kFrameBytes, level); }

// `base` with a checkerboard of 0 and 200 painted over (x, y, width, height),
// in buffer rows. Every painted pixel differs from its neighbours, so the
// neighbour-confirmed detector counts about half of the area as changed.
inline Frame checkeredFrame(std::uint8_t base, int x, int y, int width, int height) {
  Frame frame = flatFrame(base);
  for (int row = y; row < y + height; ++row) {
    for (int column = x; column < x + width; ++column) {
      const std::uint8_t value = ((row + column) % 2 == 0) ? 200 : 0;
      std::uint8_t* pixel = &frame[static_cast<std::size_t>(row) * kFrameStride +
                                   static_cast<std::size_t>(column) * kFrameBytesPerPixel];
      pixel[0] = pixel[1] = pixel[2] = value;
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
  bool start() override {
    ++starts_;
    return true;
  }
  bool stop() override {
    ++stops_;
    return true;
  }

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
  std::int32_t width_ = kFrameWidth;
  std::int32_t height_ = kFrameHeight;
  std::atomic<int> index_{-1};
};

// A timer device whose smallest period is longer than any test, so that a
// started channel counts as running while the test drives tick() itself.
class FrozenTimerDevice final : public TimerDevice {
 public:
  std::uint32_t getCapabilities(TimerCapabilities& capabilities) override {
    capabilities = {1'000'000, 1'000'000};
    return failure;
  }
  std::uint32_t beginPeriod(std::uint32_t) override { return kTimerNoError; }
  void endPeriod(std::uint32_t) override {}

  std::uint32_t failure = kTimerNoError;
};

}  // namespace tessary::fakes
