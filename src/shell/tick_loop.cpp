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
  } else {
    steps_.stopCapture();
  }
}

void TickLoop::slowTick() {
  if (halted_) return;
  steps_.trackWatchedWindow();
}

}  // namespace tessary
