// Creating a detector for a camera, as the capture channel does.
#pragma once

#include <cstdint>
#include <memory>

#include "detection/motion_detector.h"

namespace tessary {

inline constexpr std::int32_t kDetectionMethodPlain = 0;
inline constexpr std::int32_t kDetectionMethodNeighbour = 1;  // the default

// A detector of `method` (anything but 0 gives the neighbour method) for
// frames of width x height. The fill and
// highlight flags are taken over from the detector being replaced; colours
// start at black fill and white highlight.
std::unique_ptr<MotionDetector> createDetector(std::int32_t method, std::int32_t width,
                                               std::int32_t height,
                                               std::uint8_t fillFlag = 0,
                                               std::uint8_t highlightFlag = 0);

}  // namespace tessary
