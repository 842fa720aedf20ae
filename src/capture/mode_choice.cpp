#include "capture/mode_choice.h"

#include <cstdlib>

#include "common/frame.h"

namespace tessary {
namespace {

int conversionCost(PixelFormat format) {
  switch (format) {
    case PixelFormat::kRgb32: return 0;
    case PixelFormat::kRgb24:
    case PixelFormat::kRgb565:
    case PixelFormat::kRgb555:
    case PixelFormat::kRgb8: return 1;
    case PixelFormat::kUyvy:
    case PixelFormat::kY411: return 2;
    case PixelFormat::kUnsupported: break;
  }
  return 3;
}

}  // namespace

const CaptureCapability* modeToScale(std::span<const CaptureCapability> modes) {
  const CaptureCapability* best = nullptr;
  for (const CaptureCapability& mode : modes) {
    const std::int32_t rows = std::abs(mode.height);
    if (mode.width == kFrameWidth && rows == kFrameHeight && mode.format != PixelFormat::kUnsupported) {
      return nullptr;
    }
    if (mode.width < kFrameWidth || rows < kFrameHeight) continue;
    if (best != nullptr) {
      const std::int64_t area = std::int64_t{mode.width} * rows;
      const std::int64_t bestArea = std::int64_t{best->width} * std::abs(best->height);
      if (area > bestArea || (area == bestArea && conversionCost(mode.format) >= conversionCost(best->format))) {
        continue;
      }
    }
    best = &mode;
  }
  return best;
}

}  // namespace tessary
