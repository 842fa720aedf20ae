#include "capture/capture_backend_synthetic.h"


namespace tessary {

FramePacer::FramePacer(std::int32_t fps)
    : period_(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::nanoseconds(frameIntervalFor(fps) * 100))),
      next_(std::chrono::steady_clock::now()) {}

void StreamStop::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  requested_ = false;
}

void StreamStop::request() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requested_ = true;
  }
  wake_.notify_all();
}

bool StreamStop::waitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  return wake_.wait_until(lock, deadline, [this] { return requested_; });
}

bool FramePacer::waitNext(StreamStop& stop) {
  next_ += period_;
  auto now = std::chrono::steady_clock::now();
  // After a long stall, start counting again instead of catching up in a burst.
  if (next_ + period_ < now) next_ = now;
  return !stop.waitUntil(next_);
}

SyntheticCaptureSession::SyntheticCaptureSession(std::string deviceName)
    : deviceName_(std::move(deviceName)) {}

CaptureCapability SyntheticCaptureSession::capability() {
  return CaptureCapability{PixelFormat::kRgb32, kFrameWidth, kFrameHeight, 0};
}

BindResult SyntheticCaptureSession::bindDevice(std::string_view name) {
  unbindDevice();
  if (name != deviceName_) return BindResult::kNotFound;
  BindResult result = openDevice();
  bound_ = result == BindResult::kBound;
  return result;
}

void SyntheticCaptureSession::unbindDevice() {
  stop();
  bound_ = false;
  formatSet_ = false;
  connected_ = false;
}

bool SyntheticCaptureSession::listCapabilities(std::vector<CaptureCapability>& capabilities) {
  capabilities.clear();
  if (!bound_) return false;
  capabilities.push_back(capability());
  return true;
}

bool SyntheticCaptureSession::setFormat(const CaptureCapability& wanted, std::int32_t fps) {
  CaptureCapability offered = capability();
  if (!bound_ || wanted.format != offered.format || wanted.width != offered.width ||
      wanted.height != offered.height) {
    lastError_ = "The format is not offered.";
    return false;
  }
  fps_ = fps > 0 ? fps : 1;
  formatSet_ = true;
  return true;
}

ConnectResult SyntheticCaptureSession::connect() {
  if (!formatSet_) {
    lastError_ = "No format applied.";
    return ConnectResult::kFailed;
  }
  connected_ = true;
  return ConnectResult::kConnected;
}

void SyntheticCaptureSession::deliver(const std::uint8_t* frame, std::int64_t time) {
  if (sink_ != nullptr) sink_->onSample(MediaSample{frame, kFrameBytes, time});
}

bool GeneratedCaptureSession::start() {
  if (thread_.joinable()) return true;
  if (!connected_) {
    lastError_ = "Not connected.";
    return false;
  }
  stop_.reset();
  thread_ = std::thread([this] {
    FramePacer pacer(fps_);
    do {
      streamFrame();
    } while (pacer.waitNext(stop_));
  });
  return true;
}

void GeneratedCaptureSession::stop() {
  if (!thread_.joinable()) return;
  stop_.request();
  thread_.join();
}

}  // namespace tessary
