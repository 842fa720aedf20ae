// --verbose: every text received and every message sent, time-stamped, on
// standard error, for client developers.
#pragma once

#include <string>
#include <string_view>

#include "link/tcp_link.h"

namespace tessary {

// "HH:MM:SS.mmm <- text" for each NUL-separated text received and
// "HH:MM:SS.mmm -> text" for each message sent and "HH:MM:SS.mmm x- text" for
// each message dropped because the client did not read it in time (UTC). Control bytes are shown
// escaped so that a trace line is always one line.
std::string formatTraceLines(TraceDirection direction, std::string_view block,
                             std::string_view timeStamp);

// The current UTC time of day as "HH:MM:SS.mmm".
std::string traceTimeStamp();

// Writes one time-stamped line about the program itself ("start-up: ...").
void traceLifecycle(std::string_view event);

class VerboseTrace {
 public:
  // Link callback; may run on the main thread and the detection thread.
  void onText(TraceDirection direction, std::string_view text);
  ProtocolTrace callback() { return ProtocolTrace::bind(this, &VerboseTrace::onText); }
};

}  // namespace tessary
