#include "capture/sample_grabber_callback.h"

#include <utility>

namespace tessary {

SampleGrabberCallbackRef SampleGrabberCallback::create() {
  return SampleGrabberCallbackRef(new SampleGrabberCallback());
}

SampleGrabberCallback::~SampleGrabberCallback() {
  sampleRoute_.reset();
  bufferRoute_.reset();
}

ComResult SampleGrabberCallback::QueryInterface(InterfaceId iid, void** out) {
  if (iid != InterfaceId::kUnknown && iid != InterfaceId::kSampleGrabberCallback) {
    return kComNoInterface;
  }
  if (out == nullptr) return kComPointer;
  *out = this;
  return kComOk;
}

std::int32_t SampleGrabberCallback::AddRef() {
  return references_.fetch_add(1, std::memory_order_relaxed) + 1;
}

std::int32_t SampleGrabberCallback::Release() {
  const std::int32_t remaining = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (remaining == 0) delete this;  // see the header: the last holder ends it
  return remaining;
}

ComResult SampleGrabberCallback::SampleCB(double, const MediaSample* sample) {
  if (sampleRoute_.isSet()) sampleRoute_(sample);
  return kComOk;
}

ComResult SampleGrabberCallback::BufferCB(double, const std::uint8_t* buffer,
                                          std::int32_t length) {
  if (bufferRoute_.isSet()) bufferRoute_(buffer, length);
  return kComOk;
}

SampleGrabberCallbackRef::SampleGrabberCallbackRef(SampleGrabberCallback* object)
    : object_(object) {
  if (object_ != nullptr) object_->AddRef();
}

SampleGrabberCallbackRef::SampleGrabberCallbackRef(const SampleGrabberCallbackRef& other)
    : SampleGrabberCallbackRef(other.object_) {}

SampleGrabberCallbackRef::SampleGrabberCallbackRef(SampleGrabberCallbackRef&& other) noexcept
    : object_(std::exchange(other.object_, nullptr)) {}

SampleGrabberCallbackRef& SampleGrabberCallbackRef::operator=(
    SampleGrabberCallbackRef other) noexcept {
  std::swap(object_, other.object_);
  return *this;
}

SampleGrabberCallbackRef::~SampleGrabberCallbackRef() { reset(); }

void SampleGrabberCallbackRef::reset() {
  if (object_ != nullptr) std::exchange(object_, nullptr)->Release();
}

}  // namespace tessary
