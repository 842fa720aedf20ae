// Where the client's events go besides the client: OSC receivers, an MQTT
// broker. The reply sender hands each output every hit, motion amount and
// zone or grid status message the client's settings let through, after
// sending it to the client and with no lock of its own held.
//
// Calls come from the detection thread (hits) and the main thread (the rest);
// an output guards itself, returns at once and never waits for the network.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tessary {

class EventOutput {
 public:
  virtual void hit(std::string_view zone) = 0;
  // `amount`: percent of the zone's pixels that changed.
  virtual void motion(std::string_view zone, std::int32_t amount) = 0;
  // A zone's or grid's status text, "Created - (15,15)-(31,23)" and the like.
  virtual void status(std::string_view zone, std::string_view text) = 0;
  // The end of one detection pass or one main tick: what came since the last
  // call belongs together (one bundle, one write).
  virtual void endBatch() = 0;
  // Main thread, now and then: the names of the zones that exist.
  virtual void zonesNow(std::span<const std::string> /*names*/) {}

 protected:
  ~EventOutput() = default;
};

}  // namespace tessary
