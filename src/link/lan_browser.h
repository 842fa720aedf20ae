// The names of the machines on the local network, for "get_lan".
#pragma once

#include <string>
#include <vector>

namespace tessary {

class LanBrowser {
 public:
  // The names known right now. Must answer at once: it is called from the
  // frame tick, so any network browsing happens in the background.
  virtual std::vector<std::string> names() const = 0;

 protected:
  ~LanBrowser() = default;
};

}  // namespace tessary
