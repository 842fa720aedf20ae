// The COM object the platform's sample grabber calls for every sample. It
// hands each sample on to the session's SampleSink as a whole upright RGB32
// frame (top row first) of the grabber's connected size, on the streaming
// thread.
// It is the only reference-counted object on the frame path: the grabber
// holds references of its own and drops them on its own schedule.
#pragma once

#include <dshow.h>
#include <qedit.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "capture/frame_scaler.h"
#include "capture/capture_backend.h"
#include "platform/windows/directshow_com.h"

namespace tessary::directshow {

// COM interfaces have no virtual destructor: objects end through Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class GrabberCallback final : public ISampleGrabberCB {
 public:
  // A new object, held by the returned pointer.
  static ComPtr<GrabberCallback> create();

  GrabberCallback(const GrabberCallback&) = delete;
  GrabberCallback& operator=(const GrabberCallback&) = delete;

  // Where frames go (null: nowhere); returns once no hand-over to the
  // previous sink is in progress.
  void setTarget(SampleSink* target);
  // The connected picture: width and the header's height, positive for a
  // bottom-up picture (the usual DIB), which is turned upright on the way,
  // negative for one already top-down. With
  // `scaleToFrame` a picture of another size is scaled whole into the
  // 160 x 120 frame. False (nothing changed) for a size that makes no frame.
  bool setFrameLayout(std::int32_t width, std::int32_t height, bool scaleToFrame = false);
  std::size_t frameBytes() const {
    std::lock_guard<std::mutex> lock(deliveryLock_);
    return frameBytes_;
  }
  // Frames are handed on only while open. close() returns once no hand-over
  // is in progress, so none follows it.
  void open();
  void close();
  // How many frames were handed on so far; read from any thread.
  std::uint64_t delivered() const { return delivered_.load(std::memory_order_relaxed); }

  // ISampleGrabberCB. QueryInterface follows the COM rules: the reference it
  // hands out is counted.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE* buffer, long length) override;

 private:
  GrabberCallback() = default;
  ~GrabberCallback() = default;

  std::atomic<ULONG> references_{0};
  std::atomic<std::uint64_t> delivered_{0};
  // Held while a frame is handed on, and guarding everything below: the
  // session sets them on its own thread, the grabber's streaming thread reads
  // them. The camera's handler takes no lock, so none is ever taken inside.
  mutable std::mutex deliveryLock_;
  SampleSink* target_ = nullptr;
  std::size_t frameBytes_ = 0;    // what is handed on
  std::size_t pictureBytes_ = 0;  // what a sample must hold
  std::size_t rowBytes_ = 0;
  bool topDown_ = false;
  bool scaled_ = false;
  FrameScaler scaler_;
  std::vector<std::uint8_t> turned_;  // a bottom-up picture made upright, or the scaled frame
  bool open_ = false;
};
#pragma GCC diagnostic pop

}  // namespace tessary::directshow
