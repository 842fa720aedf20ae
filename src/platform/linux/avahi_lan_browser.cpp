#include "platform/linux/avahi_lan_browser.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/thread-watch.h>

namespace tessary {
namespace {

constexpr const char* kWorkstationService = "_workstation._tcp";

void onClientState(AvahiClient* client, AvahiClientState state, void* self) {
  static_cast<AvahiLanBrowser*>(self)->clientStateChanged(client, state);
}

void onBrowse(AvahiServiceBrowser*, AvahiIfIndex, AvahiProtocol, AvahiBrowserEvent event,
              const char* name, const char*, const char*, AvahiLookupResultFlags, void* self) {
  static_cast<AvahiLanBrowser*>(self)->serviceChanged(event, name);
}

}  // namespace

AvahiLanBrowser::AvahiLanBrowser() {
  poll_ = avahi_threaded_poll_new();
  if (poll_ == nullptr) return;
  int error = 0;
  // NO_FAIL: without a daemon the client waits for one instead of failing.
  // The state callback may already run inside avahi_client_new.
  client_ = avahi_client_new(avahi_threaded_poll_get(poll_), AVAHI_CLIENT_NO_FAIL, &onClientState,
                             this, &error);
  if (client_ == nullptr || avahi_threaded_poll_start(poll_) < 0) {
    stopBrowsing();
    if (client_ != nullptr) avahi_client_free(client_);
    client_ = nullptr;
    avahi_threaded_poll_free(poll_);
    poll_ = nullptr;
  }
}

AvahiLanBrowser::~AvahiLanBrowser() {
  if (poll_ == nullptr) return;
  // After stop the poll thread has ended; nothing else touches the objects.
  avahi_threaded_poll_stop(poll_);
  stopBrowsing();
  avahi_client_free(client_);
  avahi_threaded_poll_free(poll_);
}

std::vector<std::string> AvahiLanBrowser::names() const {
  std::lock_guard lock(namesMutex_);
  std::vector<std::string> out;
  out.reserve(names_.size());
  for (const auto& entry : names_) out.push_back(entry.first);
  return out;
}

std::string AvahiLanBrowser::machineName(std::string_view serviceName) {
  std::size_t bracket = serviceName.rfind(" [");
  if (bracket != std::string_view::npos && !serviceName.empty() && serviceName.back() == ']') {
    serviceName = serviceName.substr(0, bracket);
  }
  for (char c : serviceName) {
    if (c == ',' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return {};
  }
  return std::string(serviceName);
}

void AvahiLanBrowser::clientStateChanged(AvahiClient* client, int state) {
  switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
      if (browser_ == nullptr) {
        browser_ = avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                             kWorkstationService, nullptr,
                                             static_cast<AvahiLookupFlags>(0), &onBrowse, this);
      }
      break;
    case AVAHI_CLIENT_CONNECTING:  // the daemon went away; it may come back
    case AVAHI_CLIENT_FAILURE:
      stopBrowsing();
      break;
    default:
      break;
  }
}

void AvahiLanBrowser::serviceChanged(int event, const char* serviceName) {
  if (serviceName == nullptr) return;
  std::string name = machineName(serviceName);
  if (name.empty()) return;
  std::lock_guard lock(namesMutex_);
  if (event == AVAHI_BROWSER_NEW) {
    ++names_[name];
  } else if (event == AVAHI_BROWSER_REMOVE) {
    auto found = names_.find(name);
    if (found != names_.end() && --found->second <= 0) names_.erase(found);
  }
}

void AvahiLanBrowser::stopBrowsing() {
  if (browser_ != nullptr) {
    avahi_service_browser_free(browser_);
    browser_ = nullptr;
  }
  std::lock_guard lock(namesMutex_);
  names_.clear();
}

}  // namespace tessary
