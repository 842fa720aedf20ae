#include "shell/camera_setup.h"

namespace tessary {

std::unique_ptr<CameraSide> makeCameraSide(std::string_view, VideoController&) {
  // Until the capture side is wired in, the program runs without cameras.
  return std::make_unique<NoCameras>();
}

}  // namespace tessary
