// Where one detection pass's events go: the client's messages (TCP or
// WebSocket), the setup page's hit tally, and every further output (OSC,
// MQTT, ...). Adding an output means implementing ZoneEventSink and adding it
// to the controller's ZoneEventFanOut at start-up; nothing else changes.
//
//   class CountingSink final : public ZoneEventSink {
//     void onZoneEvents(const ZoneEventBatch& batch) override { hits_ += batch.hits.size(); }
//     std::atomic<std::size_t> hits_{0};
//   };
//   controller.eventSinks().add(sink);      // before capture starts
//   ...
//   controller.shutdown();                  // no pass runs any more
//   controller.eventSinks().remove(sink);
//
// The contract every sink keeps, so that no output can hold up detection or
// another output:
//  - onZoneEvents runs on the detection thread of the camera in use, once per
//    pass with at least one hit, with no lock of the zone server held.
//  - It returns quickly and never waits for a client, a socket, a broker or
//    another thread's work: what cannot go out at once is queued, and beyond
//    a bound of the sink's own it is dropped, counted and traced.
//  - It never calls back into the VideoController.
//  - The batch and the names in it are valid only during the call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/thread_annotations.h"

namespace tessary {

// One zone that fired.
struct ZoneHit {
  std::int32_t zoneId = -1;
  std::string_view name;
};

// Everything one detection pass produced.
struct ZoneEventBatch {
  std::span<const ZoneHit> hits;  // in zone id order, each zone at most once
  std::int64_t frameArrivalNs = 0;  // when the frame reached the camera, steady clock
};

class ZoneEventSink {
 public:
  virtual void onZoneEvents(const ZoneEventBatch& batch) = 0;

 protected:
  ~ZoneEventSink() = default;
};

// The one place a pass's events fan out from: each sink in the order added.
class ZoneEventFanOut {
 public:
  static constexpr std::size_t kMaxSinks = 8;

  // False when the sink is already there or kMaxSinks are. Any thread.
  bool add(ZoneEventSink& sink);
  // A pass already delivering may still reach the sink once after this
  // returns: remove a sink only once capture is shut down, or keep it alive.
  void remove(ZoneEventSink& sink);
  // Detection thread: hands `batch` to every sink, holding no lock meanwhile.
  void deliver(const ZoneEventBatch& batch) const;

 private:
  mutable Mutex mutex_;
  std::array<ZoneEventSink*, kMaxSinks> sinks_ TESSARY_GUARDED_BY(mutex_){};
  std::size_t count_ TESSARY_GUARDED_BY(mutex_) = 0;
};

}  // namespace tessary
