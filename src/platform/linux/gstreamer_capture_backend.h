// Cameras, video files and network streams through GStreamer.
//
// Each source ends in the same tail, which decodes, converts and scales the
// whole picture into the 160 x 120 frame and keeps at most one buffer:
//
//   SOURCE ! videoconvert ! videoscale ! appsink (BGRx 160 x 120, max-buffers=1 drop=true)
//
// SOURCE is a camera listed by GstDeviceMonitor (Video/Source: V4L2,
// PipeWire and libcamera cameras alike), opened at its smallest mode of at
// least 160 x 120, or uridecodebin for a file or URL, or a pipeline of the
// user's own. A source that fails, ends or stalls is reported once on
// standard error, marked absent, and tried again every few seconds until it
// returns; a file loops instead of ending.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "capture/capture_backend.h"

namespace tessary {

// How long a source may go without a picture, and how often a lost source
// is tried again.
struct GstreamerTiming {
  std::chrono::milliseconds stall{5000};
  std::chrono::milliseconds firstPicture{10000};
  std::chrono::milliseconds retry{3000};
};

// The part every source's pipeline ends in, from "videoconvert" to the
// appsink named "tessary_sink".
const char* gstreamerTail();

// The backend for the program's camera option:
//   "gst" (also "v4l2")  - every camera GStreamer lists;
//   "auto"               - the first camera listed, else the demo camera;
//   "demo", "raw:PATH"   - the portable cameras;
//   "gst:PIPELINE"       - a pipeline ending in a video source;
//   "SCHEME://..."       - a network stream or file URI;
//   a path              - a video file, looped at its own rate;
//   anything else        - the listed camera of that name, or the one
//                          whose name holds it (ignoring case) when only one does.
// Null with `error` set when the source cannot be used; `choice` receives one
// line for the user on what "auto" chose.
std::unique_ptr<CaptureBackend> makeCaptureBackend(std::string_view source, std::string& error,
                                                   std::string* choice = nullptr,
                                                   GstreamerTiming timing = {});

}  // namespace tessary
