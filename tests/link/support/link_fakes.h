// Stand-ins for the shell around the link and the reply sender in tests.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "display/display_state.h"
#include "link/tcp_link.h"
#include "link/zone_queries.h"
#include "link/support/test_client.h"

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
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& c : calls_) n += c == call ? 1 : 0;
    return n;
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

struct FakeZone {
  std::string name;
  bool active = true;
  std::int32_t motionAmount = 0;
  std::optional<std::string> statusText;
  std::string attributes;
  std::string summary;
};

// Zones by id, grids by name; texts as the test sets them.
class FakeZoneQueries final : public ZoneQueries {
 public:
  std::int32_t zoneCount() override { return static_cast<std::int32_t>(zones.size()); }
  std::string_view zoneName(std::int32_t id) override {
    return zone(id) ? std::string_view(zone(id)->name) : std::string_view();
  }
  bool zoneActive(std::int32_t id) override { return zone(id) && zone(id)->active; }
  std::int32_t zoneMotionAmount(std::int32_t id) override {
    return zone(id) ? zone(id)->motionAmount : 0;
  }
  std::optional<std::string_view> zoneStatusText(std::string_view name) override {
    const FakeZone* found = byName(name);
    if (!found || !found->statusText) return std::nullopt;
    return std::string_view(*found->statusText);
  }
  std::string_view zoneAttributesText(std::string_view name) override {
    const FakeZone* found = byName(name);
    return found ? std::string_view(found->attributes) : "illegal zone ID";
  }
  std::string_view zoneSummaryText(std::string_view name) override {
    const FakeZone* found = byName(name);
    return found ? std::string_view(found->summary) : "illegal zone ID";
  }
  std::optional<std::string_view> gridStatusText(std::string_view name) override {
    auto found = grids.find(std::string(name));
    if (found == grids.end()) return std::nullopt;
    return std::string_view(found->second);
  }

  std::vector<FakeZone> zones;
  std::map<std::string, std::string> grids;  // name -> status word

 private:
  FakeZone* zone(std::int32_t id) {
    return id >= 0 && id < zoneCount() ? &zones[static_cast<std::size_t>(id)] : nullptr;
  }
  const FakeZone* byName(std::string_view name) const {
    for (const auto& z : zones) {
      if (z.name == name) return &z;
    }
    return nullptr;
  }
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

// Polls the link like the frame tick does until something arrives; returns
// the bytes read (NULs included).
inline std::string receiveWithin(TcpLink& link, std::chrono::milliseconds timeout = 2s) {
  char buffer[TcpLink::kReceiveBufferSize];
  std::string received;
  waitUntil(
      [&] {
        const std::size_t count = link.receive(buffer);
        received.assign(buffer, count);
        return count > 0;
      },
      timeout);
  return received;
}

}  // namespace tessary::testing
