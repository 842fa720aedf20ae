// Which of a device's modes to open when none has the frame's size.
#pragma once

#include <span>

#include "capture/capture_backend.h"

namespace tessary {

// The smallest mode of at least 160 x 120, the cheapest to convert among
// modes of the same size (RGB32 as it is, other RGB, then YUV, then formats
// that need a decoder); null when a mode of exactly 160 x 120 in a format
// the camera takes exists (it is used as it is) or when no mode is large
// enough.
const CaptureCapability* modeToScale(std::span<const CaptureCapability> modes);

}  // namespace tessary
