#include "capture/frame_queue.h"

#include <cstring>

namespace tessary {

void FrameQueue::allocate(std::size_t frameBytes) {
  if (frameBytes != frameBytes_) {
    storage_.assign(frameBytes * kBuffers, 0);
    frameBytes_ = frameBytes;
  }
  MutexLock lock(mutex_);
  free_.clear();
  free_.reserve(kBuffers);
  for (std::size_t i = kBuffers; i-- > 0;) free_.push_back(i);
  first_ = 0;
  count_ = 0;
  reading_ = kNone;
}

bool FrameQueue::push(std::span<const std::uint8_t> frame, FrameStamp stamp) {
  if (frameBytes_ == 0 || frame.size() != frameBytes_) return false;
  std::size_t index = kNone;
  {
    MutexLock lock(mutex_);
    if (!free_.empty()) {
      index = free_.back();
      free_.pop_back();
    } else {
      // Every buffer but the reader's waits: the oldest makes room.
      index = queued_[first_];
      first_ = (first_ + 1) % kDepth;
      --count_;
      ++dropped_;
    }
  }
  std::memcpy(bufferAt(index), frame.data(), frameBytes_);
  {
    MutexLock lock(mutex_);
    if (count_ == kDepth) {
      free_.push_back(queued_[first_]);
      first_ = (first_ + 1) % kDepth;
      --count_;
      ++dropped_;
    }
    queued_[(first_ + count_) % kDepth] = index;
    ++count_;
    stamps_[index] = stamp;
  }
  waiting_.notify_one();
  return true;
}

const std::uint8_t* FrameQueue::take(FrameStamp& stamp) {
  MutexLock lock(mutex_);
  if (reading_ != kNone) {
    free_.push_back(reading_);
    reading_ = kNone;
  }
  while (count_ == 0 && !stopped_) waiting_.wait(mutex_);
  if (stopped_) return nullptr;
  reading_ = queued_[first_];
  first_ = (first_ + 1) % kDepth;
  --count_;
  stamp = stamps_[reading_];
  return bufferAt(reading_);
}

void FrameQueue::stop() {
  {
    MutexLock lock(mutex_);
    stopped_ = true;
  }
  waiting_.notify_all();
}

void FrameQueue::restart() {
  MutexLock lock(mutex_);
  // Frames that waited while the reader was away are stale now.
  for (; count_ > 0; --count_, first_ = (first_ + 1) % kDepth) free_.push_back(queued_[first_]);
  if (reading_ != kNone) free_.push_back(reading_);
  reading_ = kNone;
  stopped_ = false;
}

std::uint64_t FrameQueue::droppedFrames() const {
  MutexLock lock(mutex_);
  return dropped_;
}

}  // namespace tessary
