// Stand-ins for the shell around the link and the reply sender in tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "display/display_state.h"
#include "link/tcp_link.h"
#include "support/test_client.h"
#include "zones/zone_event_sink.h"

namespace tessary::testing {

// Records every LinkEvents call in order; `onResetReplies` runs inside the
// reset, where the shell would reset the reply sender.
class RecordingLinkEvents final : public LinkEvents {
 public:
  void clientConnected() override { record("clientConnected"); }
  void clearAllZones() override { record("clearAllZones"); }
  void stopCapture() override { record("stopCapture"); }
  void resetReplies() override {
    record("resetReplies");
    if (onResetReplies) onResetReplies();
  }
  void logOut() override { record("logOut"); }
  void resetBlendFactors() override { record("resetBlendFactors"); }

  std::vector<std::string> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::size_t count(const std::string& call) const {
    const std::vector<std::string> all = calls();
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), call));
  }

  std::function<void()> onResetReplies;

 private:
  void record(const char* call) {
    std::lock_guard lock(mutex_);
    calls_.emplace_back(call);
  }
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

class CountingOverlay final : public OverlayControl {
 public:
  int overlayInit() override { return 0; }
  int overlayUpdatePosition() override {
    ++updates;
    return 0;
  }
  int overlayPresent() override { return 0; }
  void overlayShutdown() override {}
  int updates = 0;
};

// One detection pass that hit the zones `names`, in that order, handed to a
// sink or, as detection hands it, to the controller's fan-out.
inline std::vector<ZoneHit> zoneHits(std::initializer_list<std::string_view> names) {
  std::vector<ZoneHit> hits;
  for (std::string_view name : names) hits.push_back(ZoneHit{static_cast<std::int32_t>(hits.size()), name});
  return hits;
}
inline void deliverHits(ZoneEventSink& sink, std::initializer_list<std::string_view> names) {
  const std::vector<ZoneHit> hits = zoneHits(names);
  sink.onZoneEvents(ZoneEventBatch{hits});
}
inline void deliverHits(const ZoneEventFanOut& fanOut, std::initializer_list<std::string_view> names) {
  const std::vector<ZoneHit> hits = zoneHits(names);
  fanOut.deliver(ZoneEventBatch{hits});
}

// Connects `client` and waits until `link` has taken it from the backlog.
inline bool connectTo(TcpLink& link, TestClient& client) {
  return client.connect(link.port()) && waitUntil([&] { return link.isConnected(); });
}

}  // namespace tessary::testing
