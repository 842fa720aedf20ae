// The demo camera: a built-in synthetic camera for machines without one.
//
// Picture n depends on n alone: a textured background that never changes,
// and one bright 24 x 24 square that slides left and right across the whole
// width, 4 pixels a frame, there and back every 68 frames (4.5 s at 15 fps).
//
// Motion band: the square always covers picture rows 48 to 71 (counted from
// the top; rows 48 to 71 from the bottom too, so the band is the same however
// the picture is flipped), columns 0 to 159. A zone whose frame rectangle
// lies within those rows is hit each time the square passes; a zone wholly
// above row 48 or below row 71 never sees a pixel change.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "capture/capture_backend.h"
#include "common/frame.h"

namespace tessary {

inline constexpr const char* kDemoCameraName = "Tessary Demo Camera";
inline constexpr std::int32_t kDemoMotionTop = 48;     // first picture row with motion
inline constexpr std::int32_t kDemoMotionBottom = 71;  // last picture row with motion
inline constexpr std::int32_t kDemoObjectSize = 24;
inline constexpr std::int32_t kDemoStep = 4;            // pixels per frame
inline constexpr std::int32_t kDemoPeriod = 68;         // frames, there and back

// Left edge of the square in picture n.
std::int32_t demoObjectLeft(std::uint64_t n);

// Draws picture n as a camera frame: RGB32, bottom-up rows.
void renderDemoFrame(std::uint64_t n, std::span<std::uint8_t, kFrameBytes> frame);

std::unique_ptr<CaptureBackend> makeDemoCaptureBackend();

}  // namespace tessary
