// Finding the client's own window: which connection is the client's end of
// the link, and which of its process's windows shows the client's display
// area. Window systems plug in through WindowTree; the rules live here so
// every platform layer applies the same ones.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "display/display_state.h"

namespace tessary {

// One row of the machine's TCP connection table, as a platform layer reads it.
struct ConnectionRow {
  bool established = false;
  std::uint16_t localPort = 0;   // host byte order
  std::uint16_t remotePort = 0;  // host byte order
  // Who holds the socket: a process ID, or where the platform's table names
  // sockets rather than processes, the socket's identity. 0: nobody.
  std::uint64_t owner = 0;
};

// The rows of `rows` that are client ends of connections to our link on
// `linkPort` which the link has accepted: a client whose connection waits in
// the listen queue while another is served has an established row too, but
// no socket of ours holds the server's end of it yet (that row has no
// owner), and a connection this machine makes to some other server on the
// same port has no server end here at all.
std::vector<ConnectionRow> acceptedClientRows(std::span<const ConnectionRow> rows, std::uint16_t linkPort);

// The index of the client's end of the link listening on `linkPort`: the
// first established row whose remote port is `linkPort` and whose owner is
// known; -1 when there is none. Closed connections that linger (a previous
// client's, waiting out the close) have no owner and must not be taken.
int findClientRow(std::span<const ConnectionRow> rows, std::uint16_t linkPort);

// The window system as the search sees it. Order matters: the search takes
// the first match in the platform's own enumeration order.
class WindowTree {
 public:
  virtual std::vector<WindowHandle> topLevelWindows() = 0;
  virtual std::uint64_t owningProcess(WindowHandle window) = 0;
  // Every descendant of `window`, children before their own children as the
  // platform enumerates them.
  virtual std::vector<WindowHandle> descendants(WindowHandle window) = 0;
  // The class name of the window's parent, at most 255 characters; empty
  // when it cannot be read.
  virtual std::string parentClassName(WindowHandle window) = 0;

 protected:
  ~WindowTree() = default;
};

// The parent class names that mark the client's display area.
inline constexpr std::string_view kBrowserViewClass = "Internet Explorer_Server";
inline constexpr std::string_view kMainFormClass = "TfrmMain";
inline constexpr std::string_view kPanelClass = "TPanel";

// Searches the top-level windows of `clientProcess` for the display area and
// returns the window to watch. `current` (the window already watched, or 0)
// is kept when nothing matches; while one is watched, the search ends after
// the client's first top-level window.
WindowHandle searchClientWindow(WindowTree& tree, std::uint64_t clientProcess, WindowHandle current);

}  // namespace tessary
