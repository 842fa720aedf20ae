// The workstations on the local network, as the Windows browser service
// lists them (NetServerEnum).
//
// Threads: the listing can take seconds (the browser service may have to be
// found first), so it runs on a thread owned by this object, which lists the
// workstations at start and then once a minute, and which the destructor
// stops. The thread writes the name list under mutex_; names() only copies it
// out, so the frame tick never waits on the network.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/lan_browser.h"

namespace tessary {

class NetServerLanBrowser final : public LanBrowser {
 public:
  using Lister = std::function<std::vector<std::string>()>;

  // Lists with `listWorkstations` below; tests pass their own lister.
  NetServerLanBrowser();
  explicit NetServerLanBrowser(Lister lister);
  ~NetServerLanBrowser();
  NetServerLanBrowser(const NetServerLanBrowser&) = delete;
  NetServerLanBrowser& operator=(const NetServerLanBrowser&) = delete;

  // Sorted, each name once, without names that cannot be listed.
  std::vector<std::string> names() const override;

  // How many listings have finished; for tests.
  int listings() const;

  // The workstation names the browser service knows, in UTF-8; empty when
  // there is no browser service (as under Wine) or the network cannot be read.
  static std::vector<std::string> listWorkstations();

  // `raw` sorted, each name once, without empty names and names holding ","
  // or control characters (they would break the reply's list).
  static std::vector<std::string> listableNames(std::vector<std::string> raw);

 private:
  void run();

  Lister lister_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;              // guarded by mutex_
  std::vector<std::string> names_;     // guarded by mutex_
  int listings_ = 0;                   // guarded by mutex_
  std::thread thread_;                 // last: starts once the rest exists
};

}  // namespace tessary
