// The camera's newest frame, handed from the streaming thread (one writer) to
// the polling thread (one reader) without either ever waiting.
//
// Three buffers: the writer owns one, the reader owns one, and the third is
// the hand-over slot. The writer fills its buffer and swaps it into the slot;
// the reader swaps a fresh slot out for its own buffer. So the buffer a reader
// holds is never written until the reader's next take(), and a copy in
// progress is never visible. Memory is allocated by allocate() only.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tessary {

class CameraFrameBuffer {
 public:
  CameraFrameBuffer() = default;
  CameraFrameBuffer(const CameraFrameBuffer&) = delete;
  CameraFrameBuffer& operator=(const CameraFrameBuffer&) = delete;

  // Sizes the buffers for frames of `frameBytes` and forgets any frame.
  // Neither thread may be using the buffer meanwhile.
  void allocate(std::size_t frameBytes);
  std::size_t frameBytes() const { return frameBytes_; }

  // Writer: copies one frame in and publishes it. False (nothing changed)
  // when the sample's size is not the frame size.
  bool publish(std::span<const std::uint8_t> frame);

  // Reader: the newest published frame, or null before the first one. The
  // frame stays untouched until the reader's next take().
  const std::uint8_t* take();

 private:
  static constexpr std::uint32_t kFresh = 4;  // added to a slot index
  static constexpr std::uint32_t kIndexMask = 3;

  std::uint8_t* bufferAt(std::uint32_t index) { return storage_.data() + index * frameBytes_; }

  std::vector<std::uint8_t> storage_;  // three frames side by side
  std::size_t frameBytes_ = 0;
  std::uint32_t writeIndex_ = 0;               // the writer's own
  std::atomic<std::uint32_t> handOver_{1};     // index, plus kFresh when newer than the reader's
  std::uint32_t readIndex_ = 2;                // the reader's own
  bool readerHasFrame_ = false;                // the reader's buffer holds a frame
};

}  // namespace tessary
