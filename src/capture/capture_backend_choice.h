// Picks the capture backend that the program's camera option names.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "capture/capture_backend.h"

namespace tessary {

// The platform's own camera backend, or null when it cannot be made.
using PlatformBackendMaker = std::unique_ptr<CaptureBackend> (*)();

// `source` is one of:
//   the platform backend's name (e.g. "v4l2") - real cameras;
//   "demo"      - the built-in synthetic camera;
//   "raw:PATH"  - frames from a file or named pipe;
//   "auto"      - the platform backend when one of its devices offers
//                 160 x 120, the demo camera otherwise.
// Returns null, with `error` saying why, for any other text and for a raw
// file that cannot be opened. For "auto", `choice` (when given) receives one
// line for the user saying which camera was chosen and why.
std::unique_ptr<CaptureBackend> chooseCaptureBackend(std::string_view source,
                                                     std::string_view platformName,
                                                     PlatformBackendMaker makePlatform,
                                                     std::string& error,
                                                     std::string* choice = nullptr);

}  // namespace tessary
