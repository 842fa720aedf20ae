// The raw file camera: pictures read from a file of raw 160 x 120 frames,
// each 76,800 bytes of blue, green, red, unused with the top row first.
//
// A regular file is played at the requested frame rate and looped at its end
// (a short piece after the last whole frame is ignored). A named pipe is read
// as frames arrive, without pacing and without looping; frames that arrive
// while the camera is stopped are read and dropped, so the writer never stalls.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "capture/capture_backend.h"

namespace tessary {

// The one device's friendly name: "raw:" followed by the path.
std::string rawCameraName(std::string_view path);

std::unique_ptr<CaptureBackend> makeRawCaptureBackend(std::string path);

}  // namespace tessary
