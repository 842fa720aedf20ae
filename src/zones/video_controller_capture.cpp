// The VideoController's camera side: start-up, capture on and off, camera
// choice, the frame copy, the picture flags and shut-down.
#include <algorithm>
#include <span>
#include <string>

#include "capture/camera.h"
#include "capture/camera_registry.h"
#include "capture/capture_channel.h"
#include "common/frame.h"
#include "common/trace.h"
#include "detection/region_manager.h"
#include "zones/zone_hit_listener.h"
#include "common/periodic_timer.h"
#include "zones/video_controller.h"

namespace tessary {

// Waits until no other start, stop, camera change or shut-down is under
// way, and marks one as under way until destroyed. The mutex itself is held
// only to test and set the mark.
class VideoController::CaptureTurn {
 public:
  explicit CaptureTurn(VideoController& controller) : controller_(controller) {
    std::unique_lock lock(controller_.captureMutex_);
    controller_.captureIdle_.wait(lock, [this] { return !controller_.captureBusy_; });
    controller_.captureBusy_ = true;
  }
  ~CaptureTurn() {
    {
      std::lock_guard lock(controller_.captureMutex_);
      controller_.captureBusy_ = false;
    }
    controller_.captureIdle_.notify_one();
  }
  CaptureTurn(const CaptureTurn&) = delete;
  CaptureTurn& operator=(const CaptureTurn&) = delete;

 private:
  VideoController& controller_;
};

VideoController::~VideoController() { shutdown(); }

bool VideoController::initialize(std::unique_ptr<CameraRegistry> registry) {
  return initialize(std::move(registry), steadyTimerDevice());
}

bool VideoController::initialize(std::unique_ptr<CameraRegistry> registry,
                                 TimerDevice& timerDevice) {
  // A second start-up would make a second set of channels over the same
  // slots while the first still runs.
  if (!registry || registry_) return false;
  registry_ = std::move(registry);

  const std::int32_t found = registry_->scanCameras(kFrameWidth, kFrameHeight);
  if (found > kMaxCameras) {
    traceDebug("cameras: " + std::to_string(found) + " found, only the first " +
               std::to_string(kMaxCameras) + " are used");
  }
  cameraCount_ = std::min(found, kMaxCameras);
  if (cameraCount_ <= 0) {
    cameraCount_ = 0;
    return false;
  }

  channelList_ = std::make_unique<CaptureChannelList>(timerDevice);
  for (std::int32_t i = 0; i < cameraCount_; ++i) {
    bool ok = false;
    const char* name = registry_->cameraName(i, ok);
    if (!ok) return false;
    cameraNames_.emplace_back(name);
    if (!setUpCamera(i, cameraNames_.back())) return false;
  }

  if (currentCameraIndex() >= cameraCount_) currentCamera_.store(0);
  stopCapture();
  return true;
}

bool VideoController::setUpCamera(std::int32_t index, std::string_view name) {
  const auto slot = static_cast<std::size_t>(index);
  if (!registry_->open(OpenRequest{kFrameWidth, kFrameHeight, kProcessingRate, name})) {
    traceDebug(registry_->openReport());
    return false;
  }
  cameras_[slot] = registry_->find(name);
  CaptureChannel* channel = channelList_->createChannel();
  channels_[slot] = channel;
  scaleX_ = 1.0f;
  scaleY_ = 1.0f;
  if (!channel->init(ChannelInitRecord{1.0f, 1.0f, 0, 0, cameras_[slot]})) return false;
  channel->setFps(kProcessingRate);
  channel->setFrameCallback(ChannelFrameCallback::bind(this, &VideoController::copyFrame));
  regionManagers_[slot] = channel->createRegionManager();

  // A new channel's detector starts in mode 0. Setting the mirror bit there
  // and drawing the picture both mirrored and flipped makes the zones, mapped
  // through the camera's usual bottom-up rows, line up with a mirrored,
  // upright picture.
  switch (channel->getOrientation()) {
    case 0:
      flip_ = true;
      mirror_ = true;
      channel->toggleMirror();
      break;
    case 1:
      flip_ = true;
      mirror_ = false;
      break;
    case 2:
      flip_ = false;
      mirror_ = true;
      channel->toggleFlip();
      channel->toggleMirror();
      break;
    case 3:
      flip_ = false;
      mirror_ = false;
      channel->toggleFlip();
      break;
    default:  // no detector: leave everything as it is
      break;
  }
  zonesFlip_ = flip_.load();
  zonesMirror_ = mirror_.load();
  return true;
}

void VideoController::startCapture() {
  CaptureTurn turn(*this);
  startCurrent();
}

void VideoController::stopCapture() {
  CaptureTurn turn(*this);
  stopCurrent();
}

void VideoController::startCurrent() {
  const auto slot = static_cast<std::size_t>(currentCameraIndex());
  if (running_[slot]) return;
  Camera* camera = cameras_[slot];
  CaptureChannel* channel = channels_[slot];
  // Without a camera there is nothing to report as running.
  if (camera == nullptr && channel == nullptr) return;
  // A camera or channel that fails to start leaves capture stopped, so that
  // the next call (the frame tick makes one every 66 ms) tries again rather
  // than report a capture that delivers nothing.
  if (camera != nullptr && !camera->start()) {
    traceDebug("capture: camera " + std::to_string(slot) + " did not start");
    camera->stop();
    return;
  }
  if (channel != nullptr && !channel->start()) {
    traceDebug("capture: channel " + std::to_string(slot) + " did not start");
    if (camera != nullptr) camera->stop();
    return;
  }
  running_[slot] = true;
}

void VideoController::stopCurrent() { stopSlot(static_cast<std::size_t>(currentCameraIndex())); }

void VideoController::stopSlot(std::size_t slot) {
  if (!running_[slot]) return;
  if (cameras_[slot] != nullptr) cameras_[slot]->stop();
  if (channels_[slot] != nullptr) channels_[slot]->stop();
  running_[slot] = false;
}

void VideoController::selectCamera(std::int32_t index) {
  if (index < 0 || index >= cameraCount_) return;
  clearAllZones();
  // One turn for the whole change: a start from the accept thread in the
  // middle would restart the old camera and leave it running unseen.
  CaptureTurn turn(*this);
  stopCurrent();
  currentCamera_.store(index);
  startCurrent();
}

std::int32_t VideoController::currentCameraIndex() const { return currentCamera_.load(); }

const char* VideoController::cameraName(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= cameraNames_.size()) return nullptr;
  return cameraNames_[static_cast<std::size_t>(index)].c_str();
}

bool VideoController::capturing() const {
  return running_[static_cast<std::size_t>(currentCameraIndex())].load();
}

// The channel's frame callback, which follows each detection pass.
void VideoController::copyFrame(const std::uint8_t* frame) {
  if (ZoneHitListener* listener = hitListener_.load(std::memory_order_acquire)) {
    listener->onDetectionPassEnd();
  }
  if (frame == nullptr) return;
  frames_.publish(std::span(frame, kFrameBytes));
  processedFrames_.fetch_add(1, std::memory_order_release);
}

bool VideoController::frameBuffer(const std::uint8_t*& frame) {
  frame = frames_.take();
  return frame != nullptr;
}

std::uint64_t VideoController::processedFrameCount() const {
  return processedFrames_.load(std::memory_order_acquire);
}

void VideoController::toggleFlip() { flip_.store(!flip_.load()); }

void VideoController::toggleMirror() { mirror_.store(!mirror_.load()); }

std::int32_t VideoController::zonePictureBits() const {
  return (mirror_.load() != zonesMirror_.load() ? 1 : 0) | (flip_.load() != zonesFlip_.load() ? 2 : 0);
}

void VideoController::shutdown() {
  CaptureTurn turn(*this);
  for (std::size_t slot = 0; slot < cameras_.size(); ++slot) {
    if (cameras_[slot] != nullptr) cameras_[slot]->stop();
    if (channels_[slot] != nullptr) channels_[slot]->stop();
    // Forgotten, not only stopped: the channels and their region managers go
    // with the list below, and a later start or zone operation must find
    // nothing rather than a destroyed object.
    cameras_[slot] = nullptr;
    channels_[slot] = nullptr;
    regionManagers_[slot] = nullptr;
    running_[slot] = false;
  }
  channelList_.reset();
}

}  // namespace tessary
