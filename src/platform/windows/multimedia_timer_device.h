// The periodic timer's device on Windows: the multimedia timer's limits
// (timeGetDevCaps) and resolution requests (timeBeginPeriod/timeEndPeriod).
// A held resolution of 1 ms is what lets the timer thread wake every 66 ms
// on the dot; without it Windows rounds waits to its 15.6 ms scheduler tick.
#pragma once

#include "common/periodic_timer.h"

namespace tessary {

// The process-wide device; its codes are the multimedia timer's own
// (TIMERR_NOCANDO = 97 for a refused request).
TimerDevice& multimediaTimerDevice();

}  // namespace tessary
