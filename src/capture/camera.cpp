#include "capture/camera.h"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <thread>

namespace tessary {
namespace {

// Friendly names are kept to what the device list could hold, terminator
// included.
constexpr std::size_t kMaxDeviceNameBytes = 2048;

bool takenIntoFormatTable(PixelFormat format) {
  switch (format) {
    case PixelFormat::kRgb8:
    case PixelFormat::kRgb555:
    case PixelFormat::kRgb565:
    case PixelFormat::kRgb24:
    case PixelFormat::kRgb32:
    case PixelFormat::kY411:
    case PixelFormat::kUyvy:
      return true;
    case PixelFormat::kUnsupported:
      break;
  }
  return false;
}

}  // namespace

Camera::Camera(CaptureBackend& backend) : backend_(backend) {}

Camera::~Camera() {
  releaseGraph();
  accepting_.store(false);
}

// --- FrameSource -----------------------------------------------------------

bool Camera::getSize(std::int32_t& width, std::int32_t& height) {
  width = width_;
  height = height_;
  return true;
}

void Camera::setFrameConsumer(FrameConsumer* consumer) {
  consumer_.store(consumer);
  // A delivery that read the old consumer before the store set `delivering_`
  // first, so it is seen here; one that starts now reads the new consumer.
  while (delivering_.load()) std::this_thread::yield();
}

bool Camera::start() {
  if (!session_) return false;
  accepting_.store(true, std::memory_order_release);
  running_.store(session_->start(), std::memory_order_relaxed);
  return running_.load(std::memory_order_relaxed);
}

void Camera::stop() {
  if (session_) stopStreaming();
}

void Camera::stopStreaming() {
  // The session's stop returns only once its streaming thread is done with
  // the handler, so no sample slips in after accepting is cleared.
  session_->stop();
  running_.store(false, std::memory_order_relaxed);
  accepting_.store(false, std::memory_order_release);
}

// --- Capture chain ---------------------------------------------------------

bool Camera::setupGraph() {
  releaseGraph();
  report_ = "Setting up ...";
  report_ += lineEnd_;
  std::unique_ptr<CaptureSession> session = backend_.createSession();
  const std::string notes = backend_.sessionReport();
  report_ += notes;
  if (!session) {
    if (notes.empty()) {
      appendLine("No[GraphBuilder]");
      appendLine("No[video interfaces]");
      report_ += "The capture backend could not make a session.\n";
    }
    return false;
  }
  session->setSampleSink(this);
  session_ = std::move(session);
  return true;
}

void Camera::releaseGraph() {
  if (session_) {
    session_->stop();
    running_.store(false, std::memory_order_relaxed);
  }
  session_.reset();
  deviceBound_ = false;
  formatControl_ = false;
}

void Camera::enumerateDevices() {
  if (!deviceNames_.empty()) return;
  std::vector<std::string> names;
  switch (backend_.listDevices(names)) {
    case DeviceListResult::kNoEnumerator:
      appendLine("No[SystemDeviceEnum]");
      releaseGraph();
      names.clear();
      break;
    case DeviceListResult::kListFailed:
      appendLine("No[ClassEnumerator]");
      releaseGraph();
      names.clear();
      break;
    case DeviceListResult::kListed:
      if (names.empty()) {
        appendLine("No[ClassEnumerator]");
        releaseGraph();
      }
      break;
  }
  for (std::string& name : names) {
    if (name.empty()) continue;
    if (name.size() > kMaxDeviceNameBytes - 1) name.resize(kMaxDeviceNameBytes - 1);
    deviceNames_.push_back(std::move(name));
  }
  if (deviceNames_.empty()) report_ += "No Drivers!\n";
}

std::int32_t Camera::deviceCount() const { return static_cast<std::int32_t>(deviceNames_.size()); }

const char* Camera::getDeviceName(std::int32_t index) const {
  if (deviceNames_.empty()) return "No Sources!";
  if (index < 0 || index >= deviceCount()) return "";
  return deviceNames_[static_cast<std::size_t>(index)].c_str();
}

bool Camera::selectDevice(std::int32_t index) {
  if (deviceNames_.empty() || index < 0 || index >= deviceCount() || !session_) return false;
  deviceName_ = deviceNames_[static_cast<std::size_t>(index)];
  if (deviceBound_) {
    session_->unbindDevice();
    deviceBound_ = false;
    formatControl_ = false;
  }
  BindResult result = session_->bindDevice(deviceName_);
  switch (result) {
    case BindResult::kBound:
    case BindResult::kBoundWithoutFormats:
      deviceBound_ = true;
      break;
    case BindResult::kNoEnumerator:
      appendLine("No[SystemDeviceEnum]");
      releaseGraph();
      break;
    case BindResult::kListFailed:
      appendLine("No[ClassEnumerator]");
      releaseGraph();
      break;
    case BindResult::kNoDevices:
      appendLine("NULL[ClassEnumerator]");
      releaseGraph();
      break;
    case BindResult::kOpenFailed:
      report_ += "No[BindToObject]-";
      report_ += deviceName_;
      report_ += lineEnd_;
      break;
    case BindResult::kNotAdded:
      appendLine("No[AddCaptureFilter]");
      return false;
    case BindResult::kNotFound:
      break;
  }
  if (!deviceBound_) {
    report_ += "No[CaptureFilter]";
    return false;
  }
  if (result == BindResult::kBoundWithoutFormats) {
    appendLine("No[IID_IAMStreamConfig]");
  } else {
    formatControl_ = true;
  }
  return true;
}

void Camera::enumerateFormats() {
  if (!session_ || !formatControl_) return;
  std::vector<CaptureCapability> capabilities;
  if (!session_->listCapabilities(capabilities)) return;
  formats_.clear();
  for (const CaptureCapability& capability : capabilities) {
    if (!takenIntoFormatTable(capability.format)) continue;
    auto row = std::find_if(formats_.begin(), formats_.end(), [&](const FormatEntry& entry) {
      return entry.subtype == capability.format;
    });
    if (row == formats_.end()) {
      formats_.push_back(FormatEntry{capability.format, {}});
      row = formats_.end() - 1;
    }
    row->sizes.push_back(FrameSize{capability.width, capability.height});
  }
}

std::int32_t Camera::formatCount() const { return static_cast<std::int32_t>(formats_.size()); }

FormatEntry Camera::getFormat(std::int32_t row) const {
  if (row < 0 || row >= formatCount()) return FormatEntry{};
  return formats_[static_cast<std::size_t>(row)];
}

void Camera::selectFormat(std::int32_t row, std::int32_t size) {
  selectedFormat_ = row;
  selectedSize_ = size;
}

bool Camera::selectionValid() const {
  if (selectedFormat_ < 0 || selectedFormat_ >= static_cast<std::int32_t>(formats_.size())) {
    return false;
  }
  const FormatEntry& row = formats_[static_cast<std::size_t>(selectedFormat_)];
  return selectedSize_ >= 0 && selectedSize_ < static_cast<std::int32_t>(row.sizes.size());
}

bool Camera::applyFormat() {
  if (!session_ || !formatControl_) return false;
  if (!selectionValid()) return true;
  const FormatEntry& row = formats_[static_cast<std::size_t>(selectedFormat_)];
  const FrameSize& size = row.sizes[static_cast<std::size_t>(selectedSize_)];
  std::vector<CaptureCapability> capabilities;
  if (!session_->listCapabilities(capabilities)) return false;
  for (const CaptureCapability& capability : capabilities) {
    if (capability.format != row.subtype || capability.width != size.width ||
        capability.height != size.height) {
      continue;
    }
    bool applied = session_->setFormat(capability, frameRate_);
    width_ = capability.width;
    // The sign is the device's row order, which the session undoes: frames
    // arrive upright either way.
    height_ = std::abs(capability.height);
    return applied;
  }
  return true;
}

std::string Camera::init(bool& ok) {
  initialised_ = false;
  applyFormat();
  if (selectedFormat_ < 0 || !selectionValid()) {
    appendLine("Init without RGB|SIZE selected.");
    ok = false;
    return report_;
  }
  ConnectResult connected = session_ ? session_->connect() : ConnectResult::kFailed;
  switch (connected) {
    case ConnectResult::kConnected:
      if (const std::string mode = session_->modeText(); !mode.empty()) appendLine(mode);
      appendLine("All Ok.");
      initialised_ = true;
      frameBytes_ = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4;
      break;
    case ConnectResult::kFormatRefused:
      appendLine("No[SetMediaType-QormSampleGrabber]");
      break;
    case ConnectResult::kFailed:
      appendErrorLine();
      break;
  }
  ok = initialised_;
  appendLine("OUT[Init()]");
  return report_;
}

// --- Frames ----------------------------------------------------------------

void Camera::onSample(const MediaSample& sample) {
  const FrameClock::time_point arrival = FrameClock::now();
  if (!accepting_.load(std::memory_order_acquire)) return;
  // A sample of another size than the applied format is dropped rather than
  // read past its end.
  if (sample.data == nullptr || frameBytes_ == 0 || sample.size != frameBytes_) return;
  delivering_.store(true);
  if (FrameConsumer* consumer = consumer_.load()) {
    consumer->onFrame(FrameView{sample.data, sample.size, arrival});
  }
  delivering_.store(false);
}

bool Camera::setFrameRate(std::int32_t fps) {
  fps = std::clamp(fps, kMinFrameRate, kMaxFrameRate);
  bool wasRunning = running_.load(std::memory_order_relaxed);
  if (wasRunning) stopStreaming();
  frameRate_ = fps;
  if (!applyFormat()) return false;
  if (wasRunning) start();
  report_ += "Camera running at " + std::to_string(fps) + " fps.\n";
  return true;
}

// --- Report ----------------------------------------------------------------

void Camera::appendLine(std::string_view text) {
  report_ += text;
  report_ += lineEnd_;
}

void Camera::appendErrorLine() {
  report_ += session_ ? session_->lastError() : std::string("No capture session.");
  report_ += "\n";
}

}  // namespace tessary
