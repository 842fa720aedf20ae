#include "zones/shared_picture.h"

#include <span>

namespace tessary {

SharedPicture::SharedPicture() { frames_.allocate(kFrameBytes); }

void SharedPicture::publish(const std::uint8_t* picture) {
  if (picture == nullptr) return;
  frames_.publish(std::span(picture, kFrameBytes));
  processed_.fetch_add(1, std::memory_order_release);
}

bool SharedPicture::newest(const std::uint8_t*& frame) {
  frame = frames_.take();
  return frame != nullptr;
}

}  // namespace tessary
