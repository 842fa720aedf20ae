#include "link/watched_window.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tessary {
namespace {

std::int32_t saturate(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void trackWatchedWindow(DisplayState& display, OverlayControl& overlay, WindowLocator* locator) {
  if (display.watchedWindow == 0 || locator == nullptr) return;
  ScreenRect window;
  if (!locator->windowRect(display.watchedWindow, window)) return;
  const WatchBorders& borders = display.watchBorders;
  display.renderArea = ScreenRect{
      saturate(std::int64_t{window.left} + borders.left),
      saturate(std::int64_t{window.top} + borders.top),
      saturate(std::int64_t{window.right} - borders.right),
      saturate(std::int64_t{window.bottom} - borders.bottom),
  };
  overlay.overlayUpdatePosition();
}

}  // namespace tessary
