// The slow-tick step that keeps the overlay over the client's window.
#pragma once

#include "display/display_state.h"
#include "link/window_locator.h"

namespace tessary {

// While a window is watched, the render area becomes the window's rectangle
// less the watch borders and the overlay is placed again. Nothing changes
// when no window is watched, there is no locator, or the window's rectangle
// cannot be read (it was closed).
void trackWatchedWindow(DisplayState& display, OverlayControl& overlay, WindowLocator* locator);

}  // namespace tessary
