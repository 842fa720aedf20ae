// The setup page's model: what a browser watching the live picture is shown.
//
// Each frame tick while someone watches, the main thread makes one
// SetupUpdate (the picture, when a new frame came, and the state of every
// zone) and hands it to the viewers, which keep only the latest one.
#pragma once

#include <cstdint>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "display/picture_source.h"
#include "link/client_slot.h"
#include "zones/video_controller.h"
#include "common/thread_annotations.h"
#include "zones/zone_event_sink.h"

namespace tessary {

// Counts the hits of every zone id for the page. Detection thread in, main
// thread out.
class HitTally final : public ZoneEventSink {
 public:
  static constexpr std::int32_t kMaxCountedZones = 4096;

  HitTally();
  void onZoneEvents(const ZoneEventBatch& batch) override;
  // Hits of zone `zoneId` since the program started; ids are reused, so only
  // changes mean anything.
  std::uint32_t hits(std::int32_t zoneId) const;

 private:
  mutable Mutex mutex_;  // a leaf, held for one pass's increments
  std::vector<std::uint32_t> counts_ TESSARY_GUARDED_BY(mutex_);
};

// One update for the page.
struct SetupUpdate {
  std::vector<std::uint8_t> picture;  // RGBA, 160 x 120; empty when no new frame came
  std::string state;                   // JSON, ASCII only
};

// The page's viewers as the frame tick sees them (the web server implements it).
class SetupViewers {
 public:
  // Whether a page is watching; capture runs while one does.
  virtual bool watching() const = 0;
  // Replaces the update waiting for each viewer: a viewer that is still busy
  // with an older one skips it.
  virtual void publish(std::shared_ptr<const SetupUpdate> update) = 0;

 protected:
  ~SetupViewers() = default;
};

// The server of the setup page and of WebSocket clients, as the shell starts
// it (the web service implements it, over the link it is made with).
class SetupServer : public SetupViewers {
 public:
  virtual ~SetupServer() = default;
  // Listens on `address` (numeric IPv4) and `port` (0: any free one) and
  // starts serving; false, with `error` saying why, when it cannot listen.
  virtual bool start(const std::string& address, std::uint16_t port, std::string& error) = 0;
  virtual std::uint16_t port() const = 0;
  // Before start(): the origins whose pages may open the WebSocket client
  // besides the server's own pages, as a browser sends them
  // ("http://localhost:3000"); "*" admits every page.
  virtual void trustClientOrigins(std::vector<std::string> origins) = 0;
};

class WebClientLink;
// Makes the server for `client`; a platform without one supplies none.
using SetupServerFactory = std::unique_ptr<SetupServer> (*)(WebClientLink& client);

// What the page shows about the client.
struct SetupClientState {
  ClientKind kind = ClientKind::kNone;
  bool loggedIn = false;
};

// Builds the updates; main thread only.
class SetupView {
 public:
  SetupView(VideoController& controller, const PictureSource& pictures, const HitTally& hits)
      : controller_(controller), pictures_(pictures), hits_(hits) {}

  // The picture only when the controller processed a frame since the last call.
  std::shared_ptr<const SetupUpdate> makeUpdate(const SetupClientState& client);
  std::string stateJson(const SetupClientState& client) const;

 private:
  VideoController& controller_;
  const PictureSource& pictures_;
  const HitTally& hits_;
  std::uint64_t lastFrame_ = 0;
};

// `text` as a JSON string, quotes included; bytes outside printable ASCII are
// escaped (a byte >= 0x80 as the Latin-1 character it stands for).
std::string jsonString(std::string_view text);

}  // namespace tessary
