// The picture that detection shares with the display: the newest processed
// frame, and how it is drawn.
//
// A channel's thread publishes each processed picture; one display thread
// reads the newest. Neither waits for the other (see CameraFrameBuffer). The
// orientation is set at camera set-up and read from any thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "capture/camera_frame_buffer.h"
#include "common/frame.h"

namespace tessary {

class SharedPicture {
 public:
  SharedPicture();
  SharedPicture(const SharedPicture&) = delete;
  SharedPicture& operator=(const SharedPicture&) = delete;

  // A channel's thread: copies a processed 160 x 120 picture in (upright, as
  // the camera sees). Null is ignored.
  void publish(const std::uint8_t* picture);
  // The newest processed frame. False, with `frame` null, before the first
  // one. For one reader thread (the display's): the frame stays untouched
  // until that thread's next call, however many frames arrive meanwhile.
  bool newest(const std::uint8_t*& frame);
  // Pictures published so far (any thread).
  std::uint64_t processedFrames() const { return processed_.load(std::memory_order_acquire); }

  // How the picture is drawn so that the zones line up with it: the zones'
  // own turn (mirrored). The display's own Mirror and Flip turn it further,
  // and the zones with it.
  Orientation orientation() const { return drawn_.load(std::memory_order_relaxed); }
  bool flipped() const { return orientation().flipped; }
  bool mirrored() const { return orientation().mirrored; }
  // At camera set-up.
  void setOrientation(Orientation drawn) { drawn_.store(drawn, std::memory_order_relaxed); }

 private:
  CameraFrameBuffer frames_;  // allocated once, at construction
  std::atomic<std::uint64_t> processed_{0};
  std::atomic<Orientation> drawn_{};
};

}  // namespace tessary
