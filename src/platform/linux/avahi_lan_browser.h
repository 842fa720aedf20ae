// The machines on the local network that announce a workstation over DNS-SD
// (_workstation._tcp), browsed through the Avahi daemon.
//
// Threads: the browsing runs on Avahi's threaded poll, owned by this object
// and stopped by its destructor. The poll thread writes the name list under
// namesMutex_; names() only copies it out, so it never waits on the network.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "link/lan_browser.h"

struct AvahiClient;
struct AvahiServiceBrowser;
struct AvahiThreadedPoll;

namespace tessary {

class AvahiLanBrowser final : public LanBrowser {
 public:
  // Starts browsing in the background. Without an Avahi daemon the list stays
  // empty and a daemon that starts later is picked up; without a system
  // message bus there is nothing to browse and the list stays empty.
  AvahiLanBrowser();
  ~AvahiLanBrowser();
  AvahiLanBrowser(const AvahiLanBrowser&) = delete;
  AvahiLanBrowser& operator=(const AvahiLanBrowser&) = delete;

  // Sorted, each name once.
  std::vector<std::string> names() const override;

  // Whether the background browsing could be started at all.
  bool isStarted() const { return poll_ != nullptr; }

  // The machine name in a workstation announcement, which reads
  // "name [aa:bb:cc:dd:ee:ff]"; empty for a name that cannot be listed (one
  // holding "," or control characters would break the list).
  static std::string machineName(std::string_view serviceName);

  // Poll thread only; public for Avahi's C callbacks.
  void clientStateChanged(AvahiClient* client, int state);
  void serviceChanged(int event, const char* serviceName);

 private:
  void stopBrowsing();

  AvahiThreadedPoll* poll_ = nullptr;
  AvahiClient* client_ = nullptr;
  AvahiServiceBrowser* browser_ = nullptr;  // poll thread, or before start / after stop

  mutable std::mutex namesMutex_;
  // Guarded by namesMutex_: each name with the number of announcements
  // (one per interface and protocol) that carry it.
  std::map<std::string, int> names_;
};

}  // namespace tessary
