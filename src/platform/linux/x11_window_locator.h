// The client's window on X11: the largest mapped top-level window of the
// process at the other end of the link, and its client area on the screen.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "display/display_state.h"
#include "link/window_locator.h"

namespace tessary {

// Use on one thread only (the main thread): reading windows briefly installs
// a process-wide X error handler, so a window closed meanwhile is reported as
// unreadable instead of ending the program.
class X11WindowLocator final : public WindowLocator {
 public:
  // An empty `displayName` means $DISPLAY. The X connection is opened at
  // first use, and tried again on later uses while it cannot be opened.
  explicit X11WindowLocator(std::string displayName = {}, std::string procRoot = "/proc");
  ~X11WindowLocator();
  X11WindowLocator(const X11WindowLocator&) = delete;
  X11WindowLocator& operator=(const X11WindowLocator&) = delete;

  WindowHandle findClientWindow(std::uint16_t linkPort, WindowHandle current) override;
  // The window's client area (inside its border and any frame) in screen
  // pixels.
  bool windowRect(WindowHandle window, ScreenRect& rect) override;

  // The largest mapped top-level window of process `pid`, 0 when it has none.
  // Top-level windows come from the window manager's client list where it
  // holds one of the process's, otherwise from the root window's children; a
  // window's process from its _NET_WM_PID, otherwise from the X-Resource
  // extension.
  WindowHandle largestWindowOf(pid_t pid);

 private:
  struct Connection;
  Connection* connection();

  std::string displayName_;
  std::string procRoot_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace tessary
