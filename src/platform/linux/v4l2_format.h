// Pixel formats of V4L2 devices as the camera knows them, and their
// conversion into camera frames (RGB32: blue, green, red, unused; bottom-up).
#pragma once

#include <cstdint>
#include <span>

#include "capture/capture_backend.h"

namespace tessary {

// The camera's name for a V4L2 pixel format; kUnsupported for formats the
// camera does not take (YUYV and MJPEG among them: through libv4l2 such
// devices are offered as BGR24 too, which is taken as RGB24).
PixelFormat pixelFormatFromV4l2(std::uint32_t fourcc);

// True when convertToRgb32BottomUp handles the format.
bool canConvertV4l2(std::uint32_t fourcc);

// Converts one top-down picture of `width` x `height` whose rows are
// `bytesPerLine` apart (0: packed) into a bottom-up RGB32 frame of
// width x height x 4 bytes. False, leaving `frame` untouched, when the format
// is not handled or either buffer is too small.
bool convertToRgb32BottomUp(std::uint32_t fourcc, std::span<const std::uint8_t> picture,
                            std::int32_t width, std::int32_t height, std::uint32_t bytesPerLine,
                            std::span<std::uint8_t> frame);

}  // namespace tessary
