#include "link/osc_output.h"

namespace tessary {

OscOutput::OscOutput(const ClientEventChoice& client,
                     std::vector<std::unique_ptr<DatagramSender>> receivers)
    : EventOutput(client) {
  MutexLock lock(mutex_);
  receivers_ = std::move(receivers);
}

template <typename Add>
void OscOutput::add(OscBatch& batch, const Add& addTo) {
  if (addTo(batch)) return;
  // The packet is full: what is there goes now, the batch goes on in the next.
  sendLocked(batch);
  addTo(batch);
}

void OscOutput::hits(std::span<const ZoneHit> hits) {
  MutexLock lock(mutex_);
  for (const ZoneHit& hit : hits) {
    add(passBatch_, [&hit](OscBatch& batch) { return batch.addHit(hit.name); });
  }
  sendLocked(passBatch_);
}

void OscOutput::motion(std::string_view zone, std::int32_t amount) {
  MutexLock lock(mutex_);
  add(tickBatch_, [zone, amount](OscBatch& batch) {
    return batch.addMotion(zone, static_cast<float>(amount));
  });
}

void OscOutput::status(std::string_view zone, std::string_view text) {
  MutexLock lock(mutex_);
  add(tickBatch_, [zone, text](OscBatch& batch) { return batch.addStatus(zone, text); });
}

void OscOutput::endTick() {
  MutexLock lock(mutex_);
  sendLocked(tickBatch_);
}

void OscOutput::sendLocked(OscBatch& batch) {
  if (batch.messageCount() == 0) return;
  for (const auto& receiver : receivers_) {
    if (!receiver->send(batch.packet())) ++dropped_;
  }
  batch.clear();
}

std::uint64_t OscOutput::droppedPackets() const {
  MutexLock lock(mutex_);
  return dropped_;
}

}  // namespace tessary
