// Frames and hit recorders for the detection tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/frame.h"
#include "detection/detection_region.h"

namespace tessary::testing {

// A 160 x 120 camera frame, black unless painted.
class TestFrame {
 public:
  TestFrame() : bytes_(kFrameBytes, 0) {}

  std::uint8_t* pixel(int x, int y) {
    return bytes_.data() + (static_cast<std::size_t>(y) * kFrameWidth + x) * 4;
  }
  const std::uint8_t* pixel(int x, int y) const {
    return bytes_.data() + (static_cast<std::size_t>(y) * kFrameWidth + x) * 4;
  }
  void set(int x, int y, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    pixel(x, y)[0] = blue;
    pixel(x, y)[1] = green;
    pixel(x, y)[2] = red;
  }
  void setGrey(int x, int y, std::uint8_t value) { set(x, y, value, value, value); }
  // Grey `value` everywhere; with `checker`, only where (x + y) is even.
  void fill(std::uint8_t value, bool checker = false) {
    for (int y = 0; y < kFrameHeight; ++y) {
      for (int x = 0; x < kFrameWidth; ++x) setGrey(x, y, !checker || (x + y) % 2 == 0 ? value : 0);
    }
  }
  // `count` white pixels on even coordinates inside the rectangle: each is
  // confirmed by its black neighbours.
  void isolatedPixels(int left, int top, int width, int height, int count) {
    for (int y = top; y < top + height && count > 0; y += 2) {
      for (int x = left; x < left + width && count > 0; x += 2, --count) setGrey(x, y, 200);
    }
  }
  const std::uint8_t* data() const { return bytes_.data(); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Records hits in the order the callbacks arrive.
struct HitRecorder {
  void onHit() { events.emplace_back("hit"); }
  void onHitIndexed(std::int32_t index) { events.push_back(std::to_string(index)); }

  RegionDescriptor descriptor(int x, int y, int width, int height, int threshold = 20) {
    RegionDescriptor d{x, y, width, height, 50, threshold, {}, {}};
    d.onHit = RegionHitCallback::bind(this, &HitRecorder::onHit);
    d.onHitIndexed = RegionIndexedHitCallback::bind(this, &HitRecorder::onHitIndexed);
    return d;
  }
  int hits() const {
    int total = 0;
    for (const auto& event : events) total += event == "hit" ? 1 : 0;
    return total;
  }

  std::vector<std::string> events;
};

}  // namespace tessary::testing
