// The client's window on Windows: the process at the other end of the link
// from the system's TCP table, the display area among its windows by the
// class-name rule of the window search, and window rectangles on the screen.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "display/display_state.h"
#include "link/window_locator.h"
#include "link/window_search.h"

namespace tessary {

// The rows of an owner-annotated TCP table as GetExtendedTcpTable hands it
// over for `family` (AF_INET or AF_INET6); a count beyond the buffer is cut
// to what the buffer holds.
std::vector<ConnectionRow> tcpTableRows(std::span<const std::uint8_t> table, int family);

// The machine's TCP connections, IPv4 then IPv6, with the process that owns
// each; empty when the system will not list them. A row's owner is 0 where
// the system does not know it (always under Wine 8).
std::vector<ConnectionRow> readTcpConnections();

// The process at the other end of our link listening on `linkPort`, or 0.
std::uint64_t findClientProcess(std::uint16_t linkPort);

// Main thread only (the thread that runs the window search and the tracking
// step); it keeps no state between calls.
class TcpTableWindowLocator final : public WindowLocator {
 public:
  // The display area by the class-name rule; when the client's windows hold
  // none of the known kinds and no window is watched yet, its largest visible
  // top-level window, as on other platforms.
  WindowHandle findClientWindow(std::uint16_t linkPort, WindowHandle current) override;
  // A child window's whole rectangle; a top-level window's client area (its
  // frame and title bar belong to the system, not to the client's picture).
  bool windowRect(WindowHandle window, ScreenRect& rect) override;

  // The window to watch among the windows of process `process`, or
  // `current` when none qualifies.
  static WindowHandle findWindowOf(std::uint64_t process, WindowHandle current);

  // The largest visible top-level window of process `process`, 0 when it
  // has none.
  static WindowHandle largestWindowOf(std::uint64_t process);
};

}  // namespace tessary
