// The camera half for a --camera source text.
#pragma once

#include <memory>
#include <string_view>

#include "shell/camera_side.h"

namespace tessary {

class VideoController;

// Null when the source names no usable backend.
std::unique_ptr<CameraSide> makeCameraSide(std::string_view source, VideoController& controller);

}  // namespace tessary
