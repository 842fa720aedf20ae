#include "link/window_search.h"

#include <cstddef>

namespace tessary {
namespace {

// The child test: a descendant whose parent is of a known display-area class
// is the window to watch, except that the first one found under a main form
// is passed over; the form's display area is its second.
bool isDisplayArea(const std::string& parentClass, bool& skipFirstChild) {
  if (parentClass == kBrowserViewClass || parentClass == kPanelClass) return true;
  if (parentClass != kMainFormClass) return false;
  if (skipFirstChild) {
    skipFirstChild = false;
    return false;
  }
  return true;
}

}  // namespace

std::vector<ConnectionRow> acceptedClientRows(std::span<const ConnectionRow> rows, std::uint16_t linkPort) {
  // The client ports of the connections we hold; a machine may list
  // thousands of connections, so mark them rather than pair rows up.
  std::vector<bool> acceptedPeerPort(std::size_t{1} << 16, false);
  for (const ConnectionRow& row : rows) {
    if (row.established && row.owner != 0 && row.localPort == linkPort) {
      acceptedPeerPort[row.remotePort] = true;
    }
  }
  std::vector<ConnectionRow> clients;
  for (const ConnectionRow& row : rows) {
    if (row.remotePort == linkPort && acceptedPeerPort[row.localPort]) clients.push_back(row);
  }
  return clients;
}

int findClientRow(std::span<const ConnectionRow> rows, std::uint16_t linkPort) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ConnectionRow& row = rows[i];
    if (row.established && row.owner != 0 && row.remotePort == linkPort) return static_cast<int>(i);
  }
  return -1;
}

WindowHandle searchClientWindow(WindowTree& tree, std::uint64_t clientProcess, WindowHandle current) {
  WindowHandle watched = current;
  for (WindowHandle topLevel : tree.topLevelWindows()) {
    if (tree.owningProcess(topLevel) != clientProcess) continue;
    bool skipFirstChild = true;
    for (WindowHandle child : tree.descendants(topLevel)) {
      if (isDisplayArea(tree.parentClassName(child), skipFirstChild)) {
        watched = child;
        break;
      }
    }
    if (watched != 0) break;
  }
  return watched;
}

}  // namespace tessary
