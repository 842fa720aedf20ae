#include "shell/tick_loop.h"

namespace tessary {

void TickLoop::frameTick() {
  if (halted_) return;
  steps_.pollCommands();
  steps_.tickPauseTimers();
  steps_.sendMotionEvents();
  if (!inTray_) {
    steps_.startCapture();
  } else if (steps_.hasClient()) {
    steps_.startCapture();
    steps_.presentOverlay();
  } else if (steps_.hasViewers()) {
    // A setup page keeps capture running, as a client does.
    steps_.startCapture();
  } else {
    steps_.stopCapture();
  }
  if (steps_.hasViewers()) steps_.feedViewers();
}

void TickLoop::slowTick() {
  if (halted_) return;
  steps_.trackWatchedWindow();
}

}  // namespace tessary
