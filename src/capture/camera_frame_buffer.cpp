#include "capture/camera_frame_buffer.h"

#include <cstring>

namespace tessary {

void CameraFrameBuffer::allocate(std::size_t frameBytes) {
  if (frameBytes != frameBytes_) {
    storage_.assign(frameBytes * 3, 0);
    frameBytes_ = frameBytes;
  }
  writeIndex_ = 0;
  handOver_.store(1, std::memory_order_relaxed);
  readIndex_ = 2;
  readerHasFrame_ = false;
}

bool CameraFrameBuffer::publish(std::span<const std::uint8_t> frame) {
  if (frameBytes_ == 0 || frame.size() != frameBytes_) return false;
  std::memcpy(bufferAt(writeIndex_), frame.data(), frameBytes_);
  // Release: the copy above is complete before the reader can swap it out.
  std::uint32_t previous = handOver_.exchange(writeIndex_ | kFresh, std::memory_order_acq_rel);
  writeIndex_ = previous & kIndexMask;
  return true;
}

const std::uint8_t* CameraFrameBuffer::take() {
  if (frameBytes_ == 0) return nullptr;
  if (handOver_.load(std::memory_order_relaxed) & kFresh) {
    std::uint32_t previous = handOver_.exchange(readIndex_, std::memory_order_acq_rel);
    readIndex_ = previous & kIndexMask;
    readerHasFrame_ = true;
  }
  return readerHasFrame_ ? bufferAt(readIndex_) : nullptr;
}

}  // namespace tessary
