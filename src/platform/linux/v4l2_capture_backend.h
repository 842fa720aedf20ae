// Real cameras through V4L2 and libv4l2: the /dev/video* devices that can
// capture with streaming I/O, named by the driver's card name. libv4l2's
// format emulation lets YUYV and MJPEG cameras offer BGR24 as well.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "capture/capture_backend.h"

namespace tessary {

// `deviceFolder` is where video nodes are looked for ("/dev"; tests pass
// another folder).
std::unique_ptr<CaptureBackend> makeV4l2CaptureBackend(std::string deviceFolder = "/dev");

// The backend for the program's camera option: "v4l2", "demo", "raw:PATH" or
// "auto". Null, with `error` set, for an unknown text or an unreadable raw
// file; `choice` receives what "auto" chose and why.
std::unique_ptr<CaptureBackend> makeCaptureBackend(std::string_view source, std::string& error,
                                                   std::string* choice = nullptr);

}  // namespace tessary
