#include "zones/camera_bank.h"

#include <algorithm>
#include <string>

#include "capture/camera.h"
#include "capture/camera_registry.h"
#include "common/frame.h"
#include "common/trace.h"
#include "detection/region_manager.h"

namespace tessary {

// Waits until no other start, stop, camera change or shut-down is under
// way, and marks one as under way until destroyed. The mutex itself is held
// only to test and set the mark.
class CameraBank::CaptureTurn {
 public:
  explicit CaptureTurn(CameraBank& bank) : bank_(bank) {
    MutexLock lock(bank_.turnMutex_);
    while (bank_.turnTaken_) bank_.turnFree_.wait(bank_.turnMutex_);
    bank_.turnTaken_ = true;
  }
  ~CaptureTurn() {
    {
      MutexLock lock(bank_.turnMutex_);
      bank_.turnTaken_ = false;
    }
    bank_.turnFree_.notify_one();
  }
  CaptureTurn(const CaptureTurn&) = delete;
  CaptureTurn& operator=(const CaptureTurn&) = delete;

 private:
  CameraBank& bank_;
};

CameraBank::~CameraBank() { shutdown(); }

bool CameraBank::initialize(std::unique_ptr<CameraRegistry> registry, Orientation zoneOrientation) {
  // A second start-up would make a second set of channels over the same
  // slots while the first still runs.
  if (!registry || registry_) return false;
  registry_ = std::move(registry);

  const std::int32_t found = registry_->scanCameras(kFrameWidth, kFrameHeight);
  if (found > kMaxCameras) {
    traceDebug("cameras: " + std::to_string(found) + " found, only the first " +
               std::to_string(kMaxCameras) + " are used");
  }
  cameraCount_ = std::max(0, std::min(found, kMaxCameras));
  if (cameraCount_ == 0) return false;

  for (std::int32_t i = 0; i < cameraCount_; ++i) {
    bool ok = false;
    const char* name = registry_->cameraName(i, ok);
    if (!ok) return false;
    cameraNames_.emplace_back(name);
    if (!setUpCamera(i, cameraNames_.back(), zoneOrientation)) return false;
  }

  if (currentCameraIndex() >= cameraCount_) currentCamera_.store(0);
  stopCapture();
  return true;
}

bool CameraBank::setUpCamera(std::int32_t index, std::string_view name,
                             Orientation zoneOrientation) {
  const auto slot = static_cast<std::size_t>(index);
  if (!registry_->open(OpenRequest{kFrameWidth, kFrameHeight, kProcessingRate, name})) {
    traceDebug(registry_->openReport());
    return false;
  }
  Slot& camera = slots_[slot];
  camera.camera = registry_->find(name);
  if (camera.camera == nullptr) return false;
  camera.channel = std::make_unique<CaptureChannel>(kProcessingRate);
  CaptureChannel* channel = camera.channel.get();
  if (!channel->init(*camera.camera)) return false;
  tags_[slot] = PassTag{this, index};
  channel->setPassCallback(ChannelPassCallback::bind(&tags_[slot], &PassTag::onPass));
  channel->setZoneOrientation(zoneOrientation);
  regionManagers_[slot] = &channel->regionManager();
  return true;
}

void CameraBank::startCapture() {
  CaptureTurn turn(*this);
  startCurrent();
}

void CameraBank::stopCapture() {
  CaptureTurn turn(*this);
  stopSlot(static_cast<std::size_t>(currentCameraIndex()));
}

void CameraBank::startCurrent() {
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

void CameraBank::stopSlot(std::size_t slot) {
  if (!running_[slot]) return;
  if (slots_[slot].camera != nullptr) slots_[slot].camera->stop();
  if (slots_[slot].channel != nullptr) slots_[slot].channel->stop();
  running_[slot] = false;
}

void CameraBank::selectCamera(std::int32_t index) {
  if (index < 0 || index >= cameraCount_) return;
  // One turn for the whole change: a start from the accept thread in the
  // middle would restart the old camera and leave it running unseen.
  CaptureTurn turn(*this);
  stopSlot(static_cast<std::size_t>(currentCameraIndex()));
  currentCamera_.store(index);
  startCurrent();
}

const char* CameraBank::cameraName(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= cameraNames_.size()) return nullptr;
  return cameraNames_[static_cast<std::size_t>(index)].c_str();
}

bool CameraBank::capturing() const {
  return running_[static_cast<std::size_t>(currentCameraIndex())].load();
}

RegionManager* CameraBank::currentRegionManager() const {
  const std::int32_t current = currentCameraIndex();
  if (current < 0 || current >= kMaxCameras) return nullptr;
  return regionManagers_[static_cast<std::size_t>(current)];
}

void CameraBank::setCurrentRegionManager(RegionManager* manager) {
  regionManagers_[static_cast<std::size_t>(currentCameraIndex())] = manager;
}

void CameraBank::shutdown() {
  CaptureTurn turn(*this);
  for (Slot& slot : slots_) {
    if (slot.camera != nullptr) slot.camera->stop();
    if (slot.channel != nullptr) slot.channel->stop();
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
