// A grid of equal regions over the whole frame, as the benchmarks use it.
#pragma once

#include <cstdint>

#include "common/frame.h"
#include "detection/region_manager.h"

namespace tessary {

inline void addGridRegions(RegionManager& manager, int columns, int rows) {
  const int width = kFrameWidth / columns;
  const int height = kFrameHeight / rows;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      RegionDescriptor region;
      region.x = column * width;
      region.y = row * height;
      region.width = width;
      region.height = height;
      std::int32_t index = -1;
      manager.add(index, region);
    }
  }
}

}  // namespace tessary
