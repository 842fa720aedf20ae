#include "shell/dialog_geometry.h"

namespace tessary {
namespace {

int placeOnAxis(int size, int desktopStart, int desktopSize, int areaStart, int areaSize) {
  int position = desktopStart + (desktopSize - size) / 2;
  if (position < areaStart) return areaStart;
  if (position + size > areaStart + areaSize) return areaStart + areaSize - size;
  return position;
}

}  // namespace

ScreenPoint centredDialogPosition(int width, int height, const ScreenBox& desktop,
                                  const std::optional<ScreenBox>& workArea) {
  const ScreenBox& area = workArea ? *workArea : desktop;
  return ScreenPoint{placeOnAxis(width, desktop.left, desktop.width, area.left, area.width),
                     placeOnAxis(height, desktop.top, desktop.height, area.top, area.height)};
}

}  // namespace tessary
