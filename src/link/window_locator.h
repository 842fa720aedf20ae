// The window-system queries behind "watch": finding the client's own window
// through its end of the link, and reading a window's screen rectangle.
#pragma once

#include <cstdint>

#include "display/display_state.h"

namespace tessary {

class WindowLocator {
 public:
  // The window to follow for the client connected to our listening port
  // `linkPort`, or `current` when the search finds nothing (a search never
  // clears the window already watched).
  virtual WindowHandle findClientWindow(std::uint16_t linkPort, WindowHandle current) = 0;
  // The window's rectangle in screen pixels; false when it cannot be read,
  // for example because the window was closed.
  virtual bool windowRect(WindowHandle window, ScreenRect& rect) = 0;

 protected:
  ~WindowLocator() = default;
};

}  // namespace tessary
