// Frames and a hit recorder for the detection tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/frame.h"
#include "detection/region_manager.h"

namespace tessary::testing {

// A 160 x 120 camera frame, black unless painted.
class TestFrame {
 public:
  std::uint8_t* pixel(int x, int y) { return bytes_.data() + (static_cast<std::size_t>(y) * kFrameWidth + x) * 4; }
  const std::uint8_t* pixel(int x, int y) const { return const_cast<TestFrame*>(this)->pixel(x, y); }
  void set(int x, int y, int red, int green, int blue) {
    std::uint8_t* p = pixel(x, y);
    p[0] = static_cast<std::uint8_t>(blue);
    p[1] = static_cast<std::uint8_t>(green);
    p[2] = static_cast<std::uint8_t>(red);
  }
  void setGrey(int x, int y, int value) { set(x, y, value, value, value); }
  // Grey `value` everywhere; with `checker`, only where (x + y) is even.
  void fill(int value, bool checker = false) {
    for (int y = 0; y < kFrameHeight; ++y) {
      for (int x = 0; x < kFrameWidth; ++x) setGrey(x, y, !checker || (x + y) % 2 == 0 ? value : 0);
    }
  }
  // `count` white pixels on even offsets in the rectangle, each confirmed by
  // its black neighbours.
  void isolatedPixels(int left, int top, int width, int height, int count) {
    for (int y = top; y < top + height && count > 0; y += 2) {
      for (int x = left; x < left + width && count > 0; x += 2, --count) setGrey(x, y, 200);
    }
  }
  const std::uint8_t* data() const { return bytes_.data(); }

 private:
  std::vector<std::uint8_t> bytes_ = std::vector<std::uint8_t>(kFrameBytes, 0);
};

// Evaluates a manager's frame, keeping every fired slot in order.
struct HitRecorder {
  bool evaluate(RegionManager& manager) { return manager.evaluateFrame(fired); }
  int hits() const { return static_cast<int>(fired.size()); }

  std::vector<std::int32_t> fired;
};

}  // namespace tessary::testing
