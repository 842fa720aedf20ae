// The client's events as OSC 1.0 over UDP, to one or more receivers: each
// batch's messages go out as one packet (a bundle when there are several).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "link/datagram_sender.h"
#include "link/event_output.h"
#include "link/osc_packet.h"

namespace tessary {

class OscOutput final : public EventOutput {
 public:
  explicit OscOutput(std::vector<std::unique_ptr<DatagramSender>> receivers);

  void hit(std::string_view zone) override;
  void motion(std::string_view zone, std::int32_t amount) override;
  void status(std::string_view zone, std::string_view text) override;
  void endBatch() override;

  // Packets the system did not take (a full send buffer, no route).
  std::uint64_t droppedPackets() const;

 private:
  template <typename Add>
  void add(const Add& addTo);
  void sendLocked();

  // Guards the batch and the sends. A send never waits, so the detection
  // thread and the main thread hold it only briefly; nothing is called under
  // it but the system's send.
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<DatagramSender>> receivers_;
  OscBatch batch_;
  std::uint64_t dropped_ = 0;
};

}  // namespace tessary
