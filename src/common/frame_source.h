// The plain frame path from a camera to whoever processes its frames.
//
// A camera (FrameSource) hands every frame it captures to one FrameConsumer,
// on the camera's streaming thread, as it arrives. Nothing polls: a frame is
// seen once, when it comes, and not at all while none comes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>


namespace tessary {

using FrameClock = std::chrono::steady_clock;

// One frame as it arrives: width x height pixels of 4 bytes (blue, green,
// red, unused), rows packed, the top row first (upright, as the camera sees
// it, never mirrored). Valid only during the onFrame call.
struct FrameView {
  const std::uint8_t* pixels = nullptr;
  std::size_t bytes = 0;
  FrameClock::time_point arrival{};  // when the camera handed it on
};

class FrameConsumer {
 public:
  // The camera's streaming thread, once per frame. Must return quickly and
  // never wait for another thread's work: the camera's next frame waits.
  virtual void onFrame(const FrameView& frame) = 0;

 protected:
  ~FrameConsumer() = default;
};

// What a capture channel needs of its camera: the frame's size, and where to
// send the frames. Starting and stopping are the camera owner's business.
class FrameSource {
 public:
  virtual bool getSize(std::int32_t& width, std::int32_t& height) = 0;
  // Where frames go from now on (null: nowhere). Returns once no frame goes
  // to the previous consumer any more, so that one may then be destroyed.
  virtual void setFrameConsumer(FrameConsumer* consumer) = 0;

 protected:
  // Owners destroy cameras through their concrete type.
  ~FrameSource() = default;
};

}  // namespace tessary
