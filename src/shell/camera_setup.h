// The camera half of the system over the video controller and a capture
// backend (the program picks the backend from its --camera option).
#pragma once

#include <memory>

#include "shell/camera_side.h"

namespace tessary {

class CaptureBackend;
class VideoController;

// The cameras of `backend`, opened at start-up by `controller`; a null
// backend gives a system without cameras.
std::unique_ptr<CameraSide> makeControllerCameras(VideoController& controller,
                                                  std::unique_ptr<CaptureBackend> backend);

}  // namespace tessary
