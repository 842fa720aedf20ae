#include "link/osc_output.h"

namespace tessary {

OscOutput::OscOutput(std::vector<std::unique_ptr<DatagramSender>> receivers)
    : receivers_(std::move(receivers)) {}

template <typename Add>
void OscOutput::add(const Add& addTo) {
  std::lock_guard lock(mutex_);
  if (addTo(batch_)) return;
  // The packet is full: what is there goes now, the batch goes on in the next.
  sendLocked();
  addTo(batch_);
}

void OscOutput::hit(std::string_view zone) {
  add([zone](OscBatch& batch) { return batch.addHit(zone); });
}

void OscOutput::motion(std::string_view zone, std::int32_t amount) {
  add([zone, amount](OscBatch& batch) { return batch.addMotion(zone, static_cast<float>(amount)); });
}

void OscOutput::status(std::string_view zone, std::string_view text) {
  add([zone, text](OscBatch& batch) { return batch.addStatus(zone, text); });
}

void OscOutput::endBatch() {
  std::lock_guard lock(mutex_);
  sendLocked();
}

void OscOutput::sendLocked() {
  if (batch_.messageCount() == 0) return;
  for (const auto& receiver : receivers_) {
    if (!receiver->send(batch_.packet())) ++dropped_;
  }
  batch_.clear();
}

std::uint64_t OscOutput::droppedPackets() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

}  // namespace tessary
