// Admitted frames on their way from a camera's streaming thread (one writer)
// to a channel's thread (one reader), in order.
//
// A few frames are held, so a reader held up for a moment (a loaded machine)
// still processes every frame once. When it falls further behind, the oldest
// waiting frame is dropped, so what it processes next is never stale. The
// frame the reader holds is never written. Memory is allocated by allocate()
// only; copies happen outside the lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "common/thread_annotations.h"

namespace tessary {

// What the writer says about a frame, handed over with it.
struct FrameStamp {
  std::uint64_t sequence = 0;  // the writer's count of frames pushed
  std::int64_t arrivalNs = 0;  // when the frame arrived, steady clock
};

class FrameQueue {
 public:
  static constexpr std::size_t kDepth = 4;  // frames waiting at most

  // Sizes the buffers and forgets every frame. Neither side may be using the
  // queue meanwhile.
  void allocate(std::size_t frameBytes);

  // Writer: copies the frame in and queues it; false (nothing queued) when
  // its size is not the frame size.
  bool push(std::span<const std::uint8_t> frame, FrameStamp stamp);

  // Reader: waits for the oldest waiting frame, or until stop(); null then.
  // The frame stays untouched until the next take().
  const std::uint8_t* take(FrameStamp& stamp);
  // Wakes take() for good, until the next restart().
  void stop();
  // Forgets the frames waiting and lets take() wait again; while no reader
  // runs.
  void restart();

  std::uint64_t droppedFrames() const;

 private:
  static constexpr std::size_t kBuffers = kDepth + 2;  // the waiting, the writer's, the reader's
  static constexpr std::size_t kNone = kBuffers;

  std::uint8_t* bufferAt(std::size_t index) { return storage_.data() + index * frameBytes_; }

  std::vector<std::uint8_t> storage_;  // kBuffers frames side by side
  std::size_t frameBytes_ = 0;

  mutable Mutex mutex_;
  ConditionVariable waiting_;
  std::array<FrameStamp, kBuffers> stamps_ TESSARY_GUARDED_BY(mutex_){};
  std::array<std::size_t, kDepth> queued_ TESSARY_GUARDED_BY(mutex_){};  // a ring of buffer indices
  std::size_t first_ TESSARY_GUARDED_BY(mutex_) = 0;
  std::size_t count_ TESSARY_GUARDED_BY(mutex_) = 0;
  std::vector<std::size_t> free_ TESSARY_GUARDED_BY(mutex_);
  std::size_t reading_ TESSARY_GUARDED_BY(mutex_) = kNone;
  bool stopped_ TESSARY_GUARDED_BY(mutex_) = false;
  std::uint64_t dropped_ TESSARY_GUARDED_BY(mutex_) = 0;
};

}  // namespace tessary
