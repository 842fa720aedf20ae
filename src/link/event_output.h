// Where the client's events go besides the client: OSC receivers, an MQTT
// broker. Two roads lead into an output, one per thread:
//  - a detection pass's hits, as a sink of the controller's fan-out
//    (detection thread): the whole pass at once, and only while the client
//    takes hit events;
//  - the motion amounts and zone or grid status texts the reply sender lets
//    through (main thread), then endTick() once the tick's commands and
//    motion events are done.
// Like every sink, an output guards itself, returns at once and never waits
// for the network.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "zones/zone_event_sink.h"

namespace tessary {

// What the client has chosen to hear, which the outputs follow.
class ClientEventChoice {
 public:
  // Any thread.
  virtual bool hitEventsOn() const = 0;

 protected:
  ~ClientEventChoice() = default;
};

class EventOutput : public ZoneEventSink {
 public:
  // `client` must outlive every pass delivered to this output.
  explicit EventOutput(const ClientEventChoice& client) : client_(client) {}

  void onZoneEvents(const ZoneEventBatch& batch) final {
    if (!batch.hits.empty() && client_.hitEventsOn()) hits(batch.hits);
  }

  // Main thread. `amount`: percent of the zone's pixels that changed.
  virtual void motion(std::string_view zone, std::int32_t amount) = 0;
  // Main thread. A zone's or grid's status text, "Created - (15,15)-(31,23)"
  // and the like.
  virtual void status(std::string_view zone, std::string_view text) = 0;
  // Main thread: what came since the last call belongs together.
  virtual void endTick() = 0;
  // Main thread, now and then: the names of the zones that exist.
  virtual void zonesNow(std::span<const std::string> /*names*/) {}

 protected:
  ~EventOutput() = default;
  // Detection thread: one pass's hits, at least one.
  virtual void hits(std::span<const ZoneHit> hits) = 0;

 private:
  const ClientEventChoice& client_;
};

}  // namespace tessary
