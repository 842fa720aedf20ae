// Turns the newest camera frame into the overlay's packed YUV picture.
#pragma once

#include <cstdint>
#include <span>

#include "display/display_state.h"
#include "display/overlay_surface.h"
#include "display/picture_source.h"

namespace tessary {

class OverlayRenderer {
 public:
  // `watermark` is a 160 x 120 image of 3-byte pixels (blue, green, red);
  // the built-in logo unless a test passes another.
  explicit OverlayRenderer(const PictureSource& source);
  OverlayRenderer(const PictureSource& source, std::span<const std::uint8_t> watermark);

  bool init(int screenWidth, int screenHeight);

  // Draws the current frame, mirrored and flipped as its flags say, with the
  // watermark blended in. Returns the unlock's result, or the lock's failure
  // code (then nothing is drawn).
  int render(OverlaySurface& surface) const;

 private:
  const PictureSource& source_;
  std::span<const std::uint8_t> watermark_;
};

// The first paint of a new overlay: the frame as the usual view shows it
// (mirrored) and scaled by the blend factors, or the overlay colour everywhere while the overlay is
// off. 0, or -1 when the surface cannot be locked.
int fillOverlaySurface(OverlaySurface& surface, std::span<const std::uint8_t> frame,
                       const DisplayState& settings);

}  // namespace tessary
