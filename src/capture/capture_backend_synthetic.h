// What the built-in cameras (demo and raw file) have in common: one device
// with a fixed name that offers only RGB32 at 160 x 120, top row first, and a
// streaming thread that hands whole frames to the sample handler.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "capture/capture_backend.h"
#include "common/frame.h"

namespace tessary {

// The stop request of one streaming thread, which the thread can wait on.
// (Plain mutex and condition variable on purpose: std::stop_token with
// std::condition_variable_any loses wake-ups in the libstdc++ of mingw-w64,
// and the stopping thread then waits forever.)
class StreamStop {
 public:
  // Before the thread starts.
  void reset();
  void request();
  // Waits until `deadline` or a request; true when a request came.
  bool waitUntil(std::chrono::steady_clock::time_point deadline);

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool requested_ = false;  // guarded by mutex_
};

// Paces a streaming thread on a steady clock: the n-th wait ends at
// start + n periods, so the rate does not drift with the work done per frame.
class FramePacer {
 public:
  explicit FramePacer(std::int32_t fps);
  // Returns false at once when stop is requested, true at the next frame time.
  bool waitNext(StreamStop& stop);

 private:
  std::chrono::steady_clock::duration period_;
  std::chrono::steady_clock::time_point next_;
};

class SyntheticCaptureSession : public CaptureSession {
 public:
  explicit SyntheticCaptureSession(std::string deviceName);

  BindResult bindDevice(std::string_view name) override;
  void unbindDevice() override;
  bool listCapabilities(std::vector<CaptureCapability>& capabilities) override;
  bool setFormat(const CaptureCapability& capability, std::int32_t fps) override;
  ConnectResult connect() override;
  void setSampleSink(SampleSink* sink) override { sink_ = sink; }
  std::string lastError() const override { return lastError_; }

  static CaptureCapability capability();

 protected:
  // Checks, when a device is bound, that it can still be opened.
  virtual BindResult openDevice() { return BindResult::kBound; }
  // Hands one RGB32 frame of kFrameBytes, top row first, to the sink.
  void deliver(const std::uint8_t* frame, std::int64_t time);

  bool bound_ = false;
  bool formatSet_ = false;
  bool connected_ = false;
  std::int32_t fps_ = 10;
  std::string lastError_;

 private:
  std::string deviceName_;
  SampleSink* sink_ = nullptr;
};

// A built-in camera that makes its frames itself, one per frame time, on its
// own streaming thread. A subclass stops the session in its destructor: the
// thread calls back into it.
class GeneratedCaptureSession : public SyntheticCaptureSession {
 public:
  using SyntheticCaptureSession::SyntheticCaptureSession;

  bool start() override;
  // Waits for the frame in progress.
  void stop() override;

 protected:
  // Makes and delivers the next frame (streaming thread only).
  virtual void streamFrame() = 0;

 private:
  StreamStop stop_;
  std::thread thread_;
};

}  // namespace tessary
