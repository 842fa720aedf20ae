// A camera whose frames are made up front and never change, so any thread may
// read them (which one is newest is an atomic index), and a timer device with
// chosen limits and failures.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/frame.h"
#include "common/frame_source.h"
#include "common/periodic_timer.h"

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

  void show(int index) { index_ = index; }  // -1: no frame yet
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

// By default its smallest period is longer than any test, so a started
// channel counts as running while the test drives tick() itself.
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
  void endPeriod(std::uint32_t) override { --held; }

  TimerCapabilities limits{1'000'000, 1'000'000};
  std::uint32_t failure = kTimerNoError, beginError = kTimerNoError;
  int held = 0;
  std::uint32_t lastBegun = 0;
};

}  // namespace tessary::fakes
