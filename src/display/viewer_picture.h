// The live picture for the setup page: the newest frame as the overlay shows
// it (mirrored and flipped by its flags, without the watermark), as RGBA
// pixels a browser canvas takes as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/frame.h"
#include "display/picture_source.h"

namespace tessary {

inline constexpr std::size_t kViewerPictureBytes =
    static_cast<std::size_t>(kFrameWidth) * kFrameHeight * 4;

// Writes 160 x 120 pixels of red, green, blue, 255, top row first, into
// `rgba` (at least kViewerPictureBytes); black while there is no frame.
// Output pixel (r, c) shows frame pixel (flip ? 119 - r : r, mirror ? 159 - c : c).
void encodeViewerPicture(const PictureFrame& picture, std::span<std::uint8_t> rgba);

}  // namespace tessary
