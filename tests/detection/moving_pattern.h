// The benchmark's scene: 8 x 8 pixel squares drifting two pixels right and one
// down per frame over a faint gradient, so that every frame changes along
// every square's edges. Shared by the detection benchmark and its tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/frame.h"

namespace tessary::testing {

inline std::vector<std::vector<std::uint8_t>> movingPattern(int frameCount) {
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 0; i < frameCount; ++i) {
    std::vector<std::uint8_t> frame(kFrameBytes);
    for (int y = 0; y < kFrameHeight; ++y) {
      for (int x = 0; x < kFrameWidth; ++x) {
        const bool square = (((x + 2 * i) / 8) + ((y + i) / 8)) % 2 == 0;
        const auto base = static_cast<std::uint8_t>((x + y) / 4);
        std::uint8_t* pixel = frame.data() + (static_cast<std::size_t>(y) * kFrameWidth + x) * 4;
        pixel[0] = static_cast<std::uint8_t>(square ? 200 - base : 20 + base);
        pixel[1] = static_cast<std::uint8_t>(square ? 180 - base : 30 + base);
        pixel[2] = static_cast<std::uint8_t>(square ? 220 - base : 10 + base);
        pixel[3] = 0;
      }
    }
    frames.push_back(std::move(frame));
  }
  return frames;
}

}  // namespace tessary::testing
