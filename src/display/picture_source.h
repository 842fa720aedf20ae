// Where the overlay renderer finds the newest camera frame.
#pragma once

#include <cstdint>
#include <span>

#include "common/frame.h"

namespace tessary {

struct PictureFrame {
  // 160 x 120 pixels of blue, green, red, unused; rows of 640 bytes, top row
  // first, as the camera sees. Empty while there is no frame yet.
  std::span<const std::uint8_t> pixels;
  Orientation turn;  // how it is drawn: mirrored, flipped, or both
};

// Implemented over the video controller, which owns the frame buffer, and
// the display state's mirror and flip settings. Main thread only.
class PictureSource {
 public:
  virtual PictureFrame currentPicture() const = 0;

 protected:
  ~PictureSource() = default;
};

}  // namespace tessary
