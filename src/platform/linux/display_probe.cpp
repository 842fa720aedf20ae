#include "common/display_probe.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace tessary {

bool displayAvailable() {
  const char* x11 = std::getenv("DISPLAY");
  if (x11 != nullptr && x11[0] != '\0') {
    // DISPLAY may name a server that is gone; only a real connection tells.
    if (Display* display = XOpenDisplay(nullptr)) {
      XCloseDisplay(display);
      return true;
    }
    return false;
  }
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return wayland != nullptr && wayland[0] != '\0';
}

}  // namespace tessary
