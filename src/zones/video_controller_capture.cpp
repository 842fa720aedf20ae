// The VideoController's camera side: start-up, capture on and off, camera
// choice, the pass hand-over and shut-down.
#include <algorithm>
#include <span>
#include <string>

#include "capture/camera.h"
#include "capture/camera_registry.h"
#include "capture/capture_channel.h"
#include "common/frame.h"
#include "common/trace.h"
#include "detection/region_manager.h"
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
  CameraSlot& camera = slots_[slot];
  camera.owner = this;
  camera.camera = registry_->find(name);
  if (camera.camera == nullptr) return false;
  camera.channel = std::make_unique<CaptureChannel>(kProcessingRate);
  CaptureChannel* channel = camera.channel.get();
  scaleX_ = 1.0f;
  scaleY_ = 1.0f;
  if (!channel->init(*camera.camera)) return false;
  camera.hits.reserve(64);
  camera.hitNames.reserve(64);
  channel->setPassCallback(ChannelPassCallback::bind(&camera, &CameraSlot::onPass));
  regionManagers_[slot] = &channel->regionManager();

  // Zones are mirrored against the camera, so that a person facing it moves
  // as in a mirror; the picture is drawn mirrored and flipped, which turns
  // the camera's usual bottom-up rows upright and lines it up with them.
  channel->setZoneOrientation(Orientation{.mirrored = true, .flipped = false});
  picture_.setOrientation(Orientation{.mirrored = true, .flipped = true});
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
  Camera* camera = slots_[slot].camera;
  CaptureChannel* channel = slots_[slot].channel.get();
  // Without a camera there is nothing to report as running.
  if (camera == nullptr || channel == nullptr) return;
  // The channel first, so that it takes the camera's first frame. A camera
  // or channel that fails to start leaves capture stopped, so that the next
  // call (the frame tick makes one every 66 ms) tries again rather than
  // report a capture that delivers nothing.
  if (!channel->start()) {
    traceDebug("capture: channel " + std::to_string(slot) + " did not start");
    return;
  }
  if (!camera->start()) {
    traceDebug("capture: camera " + std::to_string(slot) + " did not start");
    camera->stop();
    channel->stop();
    return;
  }
  running_[slot] = true;
}

void VideoController::stopCurrent() { stopSlot(static_cast<std::size_t>(currentCameraIndex())); }

void VideoController::stopSlot(std::size_t slot) {
  if (!running_[slot]) return;
  if (slots_[slot].camera != nullptr) slots_[slot].camera->stop();
  if (slots_[slot].channel != nullptr) slots_[slot].channel->stop();
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

void VideoController::handlePass(CameraSlot& slot, const DetectionPass& pass) {
  if (!pass.firedRegions.empty()) {
    slot.hits.clear();
    {
      std::lock_guard lock(zoneTableMutex_);
      if (slot.hitNames.size() < pass.firedRegions.size()) {
        slot.hitNames.resize(pass.firedRegions.size());
      }
      for (const std::int32_t zoneId : pass.firedRegions) {
        if (zoneId < 0 || static_cast<std::size_t>(zoneId) >= zones_.size()) continue;
        const ZoneSlot& zone = zones_[static_cast<std::size_t>(zoneId)];
        if (!zone.reportsHits) continue;
        slot.hitNames[slot.hits.size()] = zone.record.name;
        slot.hits.push_back(ZoneHit{zoneId, {}});
      }
    }
    // Names point into this slot's own copies, which no other thread touches.
    for (std::size_t i = 0; i < slot.hits.size(); ++i) slot.hits[i].name = slot.hitNames[i].view();
    if (!slot.hits.empty()) eventSinks_.deliver(ZoneEventBatch{slot.hits, pass.stamp.arrivalNs});
  }
  picture_.publish(pass.picture);
}

void VideoController::shutdown() {
  CaptureTurn turn(*this);
  for (std::size_t slot = 0; slot < slots_.size(); ++slot) {
    if (slots_[slot].camera != nullptr) slots_[slot].camera->stop();
    if (slots_[slot].channel != nullptr) slots_[slot].channel->stop();
  }
  // Newest first, the reverse of creation. Forgotten, not only stopped: a
  // later start or zone operation must find nothing rather than a destroyed
  // object.
  for (std::size_t slot = slots_.size(); slot-- > 0;) {
    slots_[slot].channel.reset();
    slots_[slot].camera = nullptr;
    regionManagers_[slot] = nullptr;
    running_[slot] = false;
  }
}

}  // namespace tessary
