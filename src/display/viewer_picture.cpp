#include "display/viewer_picture.h"


namespace tessary {

void encodeViewerPicture(const PictureFrame& picture, std::span<std::uint8_t> rgba) {
  if (rgba.size() < kViewerPictureBytes) return;
  if (picture.pixels.size() < kFrameBytes) {
    for (std::size_t i = 0; i < kViewerPictureBytes; i += 4) {
      rgba[i] = rgba[i + 1] = rgba[i + 2] = 0;
      rgba[i + 3] = 255;
    }
    return;
  }
  std::uint8_t* out = rgba.data();
  for (int row = 0; row < kFrameHeight; ++row) {
    const int sourceRow = picture.turn.flipped ? kFrameHeight - 1 - row : row;
    const std::uint8_t* line = picture.pixels.data() + static_cast<std::size_t>(sourceRow) * kFrameStride;
    for (int column = 0; column < kFrameWidth; ++column) {
      const int sourceColumn = picture.turn.mirrored ? kFrameWidth - 1 - column : column;
      const std::uint8_t* pixel = line + static_cast<std::size_t>(sourceColumn) * kFrameBytesPerPixel;
      out[0] = pixel[2];
      out[1] = pixel[1];
      out[2] = pixel[0];
      out[3] = 255;
      out += 4;
    }
  }
}

}  // namespace tessary
