#include "platform/windows/directshow_grabber_callback.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "capture/capture_backend.h"
#include "common/frame.h"

namespace tessary::directshow {

ComPtr<GrabberCallback> GrabberCallback::create() { return ComPtr<GrabberCallback>(new GrabberCallback()); }

void GrabberCallback::setTarget(SampleSink* target) {
  std::lock_guard<std::mutex> lock(deliveryLock_);
  target_ = target;
}

bool GrabberCallback::setFrameLayout(std::int32_t width, std::int32_t height, bool scaleToFrame) {
  std::lock_guard<std::mutex> lock(deliveryLock_);
  const std::int64_t rows = std::llabs(height);
  if (width <= 0 || rows == 0 || width > 16384 || rows > 16384) return false;
  rowBytes_ = static_cast<std::size_t>(width) * 4;
  pictureBytes_ = rowBytes_ * static_cast<std::size_t>(rows);
  topDown_ = height < 0;
  scaled_ = scaleToFrame && (width != kFrameWidth || rows != kFrameHeight);
  if (scaled_) {
    if (!scaler_.configure(
            {ScalerPixels::kBgrx, width, static_cast<std::int32_t>(rows), 0, !topDown_})) {
      return false;
    }
    frameBytes_ = kFrameBytes;
    turned_.assign(kFrameBytes, 0);
    return true;
  }
  frameBytes_ = pictureBytes_;
  turned_.assign(topDown_ ? 0 : frameBytes_, 0);
  return true;
}

void GrabberCallback::open() {
  std::lock_guard<std::mutex> lock(deliveryLock_);
  open_ = true;
}

void GrabberCallback::close() {
  std::lock_guard<std::mutex> lock(deliveryLock_);
  open_ = false;
}

HRESULT GrabberCallback::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
    *out = static_cast<ISampleGrabberCB*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG GrabberCallback::AddRef() { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG GrabberCallback::Release() {
  const ULONG remaining = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  // The grabber and the session each hold references and drop them on their
  // own schedule; the last one ends the object.
  if (remaining == 0) delete this;
  return remaining;
}

HRESULT GrabberCallback::SampleCB(double sampleTime, IMediaSample* sample) {
  // Held throughout, so that neither close() nor a new layout meets a
  // hand-over half done.
  std::lock_guard<std::mutex> lock(deliveryLock_);
  if (!open_ || target_ == nullptr || sample == nullptr || frameBytes_ == 0) return S_OK;
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data)) || data == nullptr) return S_OK;
  // The allocator's buffer may be larger than the picture: what counts is
  // the data the sample holds, which must be one whole frame.
  const long length = sample->GetActualDataLength();
  if (length < 0 || static_cast<std::size_t>(length) < pictureBytes_) return S_OK;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  const std::int64_t time = sample->GetTime(&start, &end) == S_OK
                                ? start
                                : static_cast<std::int64_t>(sampleTime * 1e7);
  const std::uint8_t* frame = data;
  if (scaled_) {
    scaler_.scale(std::span<const std::uint8_t>(data, pictureBytes_), turned_);
    frame = turned_.data();
  } else if (!topDown_) {
    const std::size_t rows = frameBytes_ / rowBytes_;
    for (std::size_t row = 0; row < rows; ++row) {
      std::memcpy(turned_.data() + (rows - 1 - row) * rowBytes_, data + row * rowBytes_, rowBytes_);
    }
    frame = turned_.data();
  }
  target_->onSample(MediaSample{frame, frameBytes_, time});
  delivered_.fetch_add(1, std::memory_order_relaxed);
  return S_OK;
}

HRESULT GrabberCallback::BufferCB(double, BYTE*, long) {
  return S_OK;  // registered for SampleCB only
}

}  // namespace tessary::directshow
