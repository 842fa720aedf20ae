// OSC 1.0 packets for the event outputs: one message per event at
// /tessary/<zone>/<kind>, and the messages of one batch as one bundle.
//
// The packet is built in place in one buffer that keeps its capacity, so a
// warmed-up batch allocates nothing: the buffer starts with room for the
// bundle header, and every message is stored as a bundle element (its size,
// then its bytes). A lone message is sent without the bundle around it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessary {

// The address of one zone's events of one kind: "/tessary/<zone>/<kind>",
// with every character an OSC address may not hold (space # * , / ? [ ] { },
// control characters and bytes outside ASCII) turned into '_'. An empty name
// becomes "_". Appended to `out`.
void appendOscAddress(std::string& out, std::string_view zone, std::string_view kind);

class OscBatch {
 public:
  // What one UDP datagram carries at most; well below what every receiver
  // takes (a zone name and a status text are bounded far below it).
  static constexpr std::size_t kMaxPacketBytes = 8192;

  OscBatch();

  // Each adds one message and answers false, adding nothing, when the packet
  // would grow beyond kMaxPacketBytes (send it, clear(), then add again).
  // /tessary/<zone>/hit with the int32 1.
  bool addHit(std::string_view zone);
  // /tessary/<zone>/motion with the amount in percent as a float32.
  bool addMotion(std::string_view zone, float percent);
  // /tessary/<zone>/status with the status text as a string.
  bool addStatus(std::string_view zone, std::string_view text);

  std::size_t messageCount() const { return messages_; }
  // The packet: the one message, or a bundle (time tag "immediately") of
  // every message in the order added. Empty when there is none.
  std::string_view packet() const;
  void clear();

 private:
  enum class Argument : char { kInt = 'i', kFloat = 'f', kString = 's' };
  bool add(std::string_view zone, std::string_view kind, Argument type, std::uint32_t number,
           std::string_view text);

  std::string buffer_;  // bundle header, then elements: int32 size, message
  std::size_t messages_ = 0;
  std::string scratch_;  // one message while it is encoded
};

}  // namespace tessary
