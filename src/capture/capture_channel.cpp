#include "capture/capture_channel.h"

#include <algorithm>

#include "detection/detection_interface.h"
#include "detection/detector_factory.h"
#include "detection/motion_detector.h"
#include "detection/region_manager.h"

namespace tessary {

bool ChannelTimerCallback::fire() {
  channel_.tick();
  return true;
}

CaptureChannel::CaptureChannel(TimerDevice& timerDevice) : timerDevice_(timerDevice) {}

CaptureChannel::~CaptureChannel() {
  {
    std::lock_guard guard(handoverLock_);
    tickCallback_.reset();
    frameCallback_.reset();
    currentRegionManager_ = nullptr;
  }
  stop();
  timer_.reset();
  timerCallback_.reset();
  for (auto& slot : regionManagers_) slot.reset();
  ready_ = false;
  detectorInput_ = nullptr;
  detector_.reset();
}

bool CaptureChannel::init(const ChannelInitRecord& record) {
  if (source_ == nullptr && record.camera == nullptr) return false;
  const bool wasRunning = isRunning();
  stop();
  if (record.camera != nullptr) source_ = record.camera;
  regionScaleX_ = record.scaleX;
  regionScaleY_ = record.scaleY;
  regionValueA_ = record.regionValueA;
  regionValueB_ = record.regionValueB;
  setDetectionMethod(detectionMethod_);
  ready_ = true;
  if (wasRunning) start();
  return true;
}

bool CaptureChannel::start() {
  if (source_ == nullptr || !isReady()) return false;
  if (timer_ == nullptr) {
    timerCallback_ = std::make_unique<ChannelTimerCallback>(*this);
    timer_ = std::make_unique<PeriodicTimer>(*timerCallback_, timerDevice_);
  }
  // Set before the timer runs so that its first tick is not skipped.
  running_ = true;
  std::uint32_t error = kTimerNoError;
  const bool started =
      timer_->start(static_cast<std::uint32_t>(1000 / fps_), error, /*resolution=*/1);
  // A timer that could not start is reported, not passed off as running.
  running_ = started;
  return started;
}

bool CaptureChannel::stop() {
  if (timer_ != nullptr) timer_->stop();
  running_ = false;
  return true;
}

bool CaptureChannel::setSource(FrameSource* camera) {
  if (source_ == nullptr) return false;
  const bool wasRunning = isRunning();
  stop();
  if (camera == nullptr) {
    source_->stop();
    source_ = nullptr;
    return false;
  }

  camera->stop();
  std::int32_t oldWidth = 0, oldHeight = 0, newWidth = 0, newHeight = 0;
  const bool oldSized = source_->getSize(oldWidth, oldHeight);
  const bool newSized = camera->getSize(newWidth, newHeight);
  if (oldSized != newSized || oldWidth != newWidth || oldHeight != newHeight ||
      source_->getOrientation() != camera->getOrientation()) {
    // Refused: the channel carries on with its old camera as before.
    if (wasRunning) start();
    return false;
  }
  source_->stop();

  FrameSource* const oldSource = source_;
  source_ = camera;
  busy_ = true;
  const bool rebuilt = setDetectionMethod(detectionMethod_);
  busy_ = false;
  if (!rebuilt) source_ = oldSource;

  if (source_ != nullptr) {
    ready_ = true;
    if (wasRunning) {
      start();
      source_->start();
    }
  } else {
    ready_ = false;
  }
  return rebuilt;
}

bool CaptureChannel::setFps(std::int32_t fps) {
  const bool wasRunning = isRunning();
  stop();
  fps_ = std::clamp(fps, minFps_, maxFps_);
  return wasRunning ? start() : true;
}

std::int32_t CaptureChannel::getFps() { return fps_; }

void CaptureChannel::setSensitivity(std::int32_t percent) {
  sensitivityPercent_ = percent;
  if (detector_ != nullptr) detector_->setDefaultSensitivity(percent);
}

std::int32_t CaptureChannel::getSensitivity() {
  return detector_ != nullptr ? detector_->defaultLevel() : -1;
}

RegionManager* CaptureChannel::createRegionManager() {
  if (!isReady()) return nullptr;
  const auto freeSlot = std::find(regionManagers_.begin(), regionManagers_.end(), nullptr);
  if (freeSlot == regionManagers_.end()) {
    std::lock_guard guard(handoverLock_);
    currentRegionManager_ = nullptr;
    return nullptr;
  }
  auto manager = std::make_unique<RegionManager>();
  manager->setScale(regionScaleX_, regionScaleY_);
  if (detectorInput_ != nullptr) manager->setDetector(detectorInput_);
  RegionManager* const created = manager.get();
  *freeSlot = std::move(manager);
  std::lock_guard guard(handoverLock_);
  currentRegionManager_ = created;
  return created;
}

bool CaptureChannel::selectRegionManager(RegionManager* manager) {
  const bool found = manager != nullptr && anySlotHolds(manager);
  if (found && detectorInput_ != nullptr) manager->setDetector(detectorInput_);
  std::lock_guard guard(handoverLock_);
  currentRegionManager_ = found ? manager : nullptr;
  return found;
}

void CaptureChannel::toggleFlip() {
  if (detector_ == nullptr) return;
  setOrientation(detector_->mode() ^ 2);
  flipApplied_ = !flipApplied_;
}

void CaptureChannel::toggleMirror() {
  if (detector_ == nullptr) return;
  setOrientation(detector_->mode() ^ 1);
  mirrorApplied_ = !mirrorApplied_;
}

std::int32_t CaptureChannel::getOrientation() {
  return detector_ != nullptr ? detector_->mode() : kChannelNoDetectorOrientation;
}

void CaptureChannel::setOrientation(std::int32_t mode) {
  // Modes are two bits; remapping with any other value would misplace regions.
  mode &= 3;
  const std::int32_t oldMode = detector_ != nullptr ? detector_->mode() : 0;
  if (detector_ != nullptr) detector_->setMode(mode);
  if (busy_) return;
  for (auto& manager : regionManagers_) {
    if (manager != nullptr) manager->remapRegions(oldMode, mode);
  }
}

bool CaptureChannel::setDetectionMethod(std::int32_t method) {
  const bool wasRunning = isRunning();
  stop();
  const bool wasBusy = busy_;
  busy_ = true;
  // Every way out restores what the caller had: busy as it was, and a
  // running channel running again.
  const auto finish = [&](bool result) {
    if (wasRunning) start();
    busy_ = wasBusy;
    return result;
  };

  if (method != kDetectionMethodPlain && method != kDetectionMethodNeighbour) {
    detectionMethod_ = method;
    destroyDetector();
    return finish(true);
  }

  std::int32_t oldWidth = 0, oldHeight = 0;
  std::uint8_t fill = 0, highlight = 0;
  if (detector_ != nullptr) {
    detector_->frameSize(oldWidth, oldHeight);
    fill = detector_->fillFlag();
    highlight = detector_->highlightFlag();
  }
  std::int32_t width = 0, height = 0;
  if (source_ == nullptr || !source_->getSize(width, height)) return finish(false);
  if (oldWidth != 0 && oldHeight != 0 && (oldWidth != width || oldHeight != height)) {
    return finish(false);
  }
  detectionMethod_ = method;

  destroyDetector();
  detector_ = createDetector(method, width, height, source_->getOrientation(), fill, highlight);
  if (detector_ == nullptr) return finish(false);
  detectorInput_ = &detector_->detectionInterface();
  detector_->setFill(fill, 0, 0, 0);
  detector_->setHighlight(highlight, 255, 255, 255);
  detector_->setDefaultSensitivity(sensitivityPercent_);
  attachRegionManagers(detectorInput_);

  // The new detector starts in mode 0: give it the old one's mirror and
  // flip. Regions were placed for that mode already, so busy keeps them.
  if (mirrorApplied_) {
    toggleMirror();
    mirrorApplied_ = true;
  }
  if (flipApplied_) {
    toggleFlip();
    flipApplied_ = true;
  }
  return finish(true);
}

void CaptureChannel::setFillColour(std::uint8_t flag, std::uint8_t red, std::uint8_t green,
                                   std::uint8_t blue) {
  if (detector_ != nullptr) detector_->setFill(flag, red, green, blue);
}

void CaptureChannel::setSecondColour(std::uint8_t flag, std::uint8_t red, std::uint8_t green,
                                     std::uint8_t blue) {
  if (detector_ != nullptr) detector_->setHighlight(flag, red, green, blue);
}

bool CaptureChannel::setTickCallback(ChannelTickCallback callback) {
  std::lock_guard guard(handoverLock_);
  tickCallback_ = callback;
  return true;
}

bool CaptureChannel::setFrameCallback(ChannelFrameCallback callback) {
  std::lock_guard guard(handoverLock_);
  frameCallback_ = callback;
  return true;
}

void CaptureChannel::tick() {
  if (!isReady() || !isRunning() || source_ == nullptr) return;
  RegionManager* manager = nullptr;
  ChannelTickCallback tickCallback;
  ChannelFrameCallback frameCallback;
  {
    std::lock_guard guard(handoverLock_);
    manager = currentRegionManager_;
    tickCallback = tickCallback_;
    frameCallback = frameCallback_;
  }

  frame_ = nullptr;
  if (!source_->getFrame(frame_)) frame_ = nullptr;
  if (detectorInput_ != nullptr && detectorInput_->processFrame(frame_) && manager != nullptr) {
    manager->evaluateFrame();
  }
  if (tickCallback.isSet()) tickCallback();
  if (frameCallback.isSet()) frameCallback(frame_);
}

RegionManager* CaptureChannel::currentRegionManager() const {
  std::lock_guard guard(handoverLock_);
  return currentRegionManager_;
}

std::uint32_t CaptureChannel::timerPeriod() const {
  return timer_ != nullptr ? timer_->period() : 0;
}

void CaptureChannel::destroyDetector() {
  // Region managers let go first; after setDetector returns none of them
  // evaluates with the old detector any more.
  attachRegionManagers(nullptr);
  detectorInput_ = nullptr;
  detector_.reset();
}

void CaptureChannel::attachRegionManagers(DetectionInterface* input) {
  for (auto& manager : regionManagers_) {
    if (manager != nullptr) manager->setDetector(input);
  }
}

bool CaptureChannel::anySlotHolds(const RegionManager* manager) const {
  return std::any_of(regionManagers_.begin(), regionManagers_.end(),
                     [&](const auto& slot) { return slot.get() == manager; });
}

CaptureChannelList::CaptureChannelList(TimerDevice& timerDevice) : timerDevice_(timerDevice) {}

CaptureChannelList::~CaptureChannelList() { clear(); }

CaptureChannel* CaptureChannelList::createChannel() {
  channels_.push_back(std::make_unique<CaptureChannel>(timerDevice_));
  return channels_.back().get();
}

std::int32_t CaptureChannelList::count() const {
  return static_cast<std::int32_t>(channels_.size());
}

void CaptureChannelList::clear() {
  // Newest first, the reverse of creation.
  while (!channels_.empty()) channels_.pop_back();
}

}  // namespace tessary
