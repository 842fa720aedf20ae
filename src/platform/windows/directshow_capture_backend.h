// Cameras through DirectShow: the video input devices the system device
// enumerator lists, each captured by a filter graph that ends in the
// platform's sample grabber (RGB32) and null renderer.
#pragma once

#include <memory>
#include <string>

#include "capture/capture_backend.h"

namespace tessary {

std::unique_ptr<CaptureBackend> makeDirectShowCaptureBackend();

// A video file (an AVI the platform can split) played through the same graph
// in place of a camera: one device, named by the file's path, offering the
// file's own format. For tests, and for trying the program without a camera.
std::unique_ptr<CaptureBackend> makeDirectShowFileBackend(std::string path);

}  // namespace tessary
