// The client's events as OSC 1.0 over UDP, to one or more receivers. A
// detection pass's hits go out as one packet (a bundle when there are
// several), and so does a tick's motion amounts and status texts.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/thread_annotations.h"
#include "link/datagram_sender.h"
#include "link/event_output.h"
#include "link/osc_packet.h"

namespace tessary {

class OscOutput final : public EventOutput {
 public:
  OscOutput(const ClientEventChoice& client, std::vector<std::unique_ptr<DatagramSender>> receivers);

  void motion(std::string_view zone, std::int32_t amount) override;
  void status(std::string_view zone, std::string_view text) override;
  void endTick() override;

  // Packets the system did not take (a full send buffer, no route).
  std::uint64_t droppedPackets() const;

 private:
  void hits(std::span<const ZoneHit> hits) override;
  // Adds to `batch` with `addTo`; a full packet goes out first.
  template <typename Add>
  void add(OscBatch& batch, const Add& addTo) TESSARY_REQUIRES(mutex_);
  void sendLocked(OscBatch& batch) TESSARY_REQUIRES(mutex_);

  // Guards the batches and the sends. A send never waits, so the detection
  // thread and the main thread hold it only briefly; nothing is called under
  // it but the system's send.
  mutable Mutex mutex_;
  std::vector<std::unique_ptr<DatagramSender>> receivers_ TESSARY_GUARDED_BY(mutex_);
  OscBatch passBatch_ TESSARY_GUARDED_BY(mutex_);  // one detection pass's hits
  OscBatch tickBatch_ TESSARY_GUARDED_BY(mutex_);  // one main tick's messages
  std::uint64_t dropped_ TESSARY_GUARDED_BY(mutex_) = 0;
};

}  // namespace tessary
