#include "display/overlay_surface.h"

#include <algorithm>

namespace tessary {

namespace {
constexpr int kSurfaceBusy = -2;
}

MemoryOverlaySurface::MemoryOverlaySurface(int width, int height, FourCc fourCc, int pitch)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pitch_(std::max(pitch, width_ * 2)),
      fourCc_(fourCc),
      bytes_(static_cast<std::size_t>(pitch_) * static_cast<std::size_t>(height_)) {}

int MemoryOverlaySurface::lock(LockWait, SurfaceLock& lock) {
  if (lockFailure_ != 0) return lockFailure_;
  if (locked_) return kSurfaceBusy;
  locked_ = true;
  lock = SurfaceLock{bytes_.data(), width_, height_, pitch_, fourCc_};
  return 0;
}

int MemoryOverlaySurface::unlock() {
  if (!locked_) return kSurfaceBusy;
  locked_ = false;
  return 0;
}

}  // namespace tessary
