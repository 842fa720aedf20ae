// The demo camera: a built-in synthetic camera for machines without one.
//
// Picture n depends on n alone: a finely textured background that never
// changes, and one bright, finely textured 32 x 32 square that steps left and right across the whole
// width, a square's width each frame (0, 32, 64, 96, 128, 96, 64, 32, ...),
// there and back every 8 frames. Stepping by its own width means that from
// one frame to the next two whole squares of the band change (2,048 of its
// 5,120 pixels), so even a zone covering the whole band reaches the default
// 20 % threshold on every frame.
//
// Motion band: the square always covers picture rows 44 to 75 (counted from
// the top; rows 44 to 75 from the bottom too, so the band is the same however
// the zones are flipped), columns 0 to 159. A zone whose frame rectangle
// lies within those rows is hit again and again; a zone wholly above row 44
// or below row 75 never sees a pixel change.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "capture/capture_backend.h"
#include "common/frame.h"

namespace tessary {

inline constexpr const char* kDemoCameraName = "Tessary Demo Camera";
inline constexpr std::int32_t kDemoMotionTop = 44;     // first picture row with motion
inline constexpr std::int32_t kDemoMotionBottom = 75;  // last picture row with motion
inline constexpr std::int32_t kDemoObjectSize = 32;
inline constexpr std::int32_t kDemoStep = kDemoObjectSize;  // pixels per frame
inline constexpr std::int32_t kDemoPeriod = 8;              // frames, there and back

// Left edge of the square in picture n.
std::int32_t demoObjectLeft(std::uint64_t n);

// Draws picture n as a camera frame: RGB32, top row first.
void renderDemoFrame(std::uint64_t n, std::span<std::uint8_t, kFrameBytes> frame);

std::unique_ptr<CaptureBackend> makeDemoCaptureBackend();

}  // namespace tessary
