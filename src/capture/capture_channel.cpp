#include "capture/capture_channel.h"

#include "detection/detector_factory.h"
#include "detection/motion_detector.h"
#include "detection/region_manager.h"

namespace tessary {

CaptureChannel::CaptureChannel(std::int32_t processingRate)
    : regionManager_(std::make_unique<RegionManager>()), pacing_(processingRate) {}

CaptureChannel::~CaptureChannel() {
  stop();
  // No frame comes here any more once this returns.
  if (source_ != nullptr) source_->setFrameConsumer(nullptr);
  regionManager_->setDetector(nullptr);
}

bool CaptureChannel::init(FrameSource& camera) {
  stop();
  std::int32_t width = 0, height = 0;
  if (!camera.getSize(width, height) || width <= 0 || height <= 0) return false;
  if (source_ != nullptr && source_ != &camera) source_->setFrameConsumer(nullptr);
  source_ = &camera;

  // Regions let go of the old detector before it goes.
  regionManager_->setDetector(nullptr);
  detector_ = createDetector(kDetectionMethodNeighbour, width, height);
  if (detector_ == nullptr) return false;
  regionManager_->setDetector(&detector_->detectionInterface());
  frameWidth_ = width;
  frameHeight_ = height;
  regionManager_->setFrameLayout(width, height, regionManager_->zoneOrientation());

  frameBytes_ = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
  frames_.allocate(frameBytes_);
  fired_.reserve(256);
  camera.setFrameConsumer(this);
  return true;
}

bool CaptureChannel::start() {
  if (detector_ == nullptr) return false;
  if (isRunning()) return true;
  // A thread that stopped itself from inside its pass is joined here.
  if (thread_.joinable()) thread_.join();
  frames_.restart();
  pacingReset_.store(true, std::memory_order_release);
  running_.store(true, std::memory_order_release);
  thread_ = std::thread(&CaptureChannel::run, this);
  return true;
}

void CaptureChannel::stop() {
  running_.store(false, std::memory_order_release);
  frames_.stop();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void CaptureChannel::setPassCallback(ChannelPassCallback callback) {
  MutexLock lock(callbackMutex_);
  passCallback_ = callback;
}

void CaptureChannel::onFrame(const FrameView& frame) {
  if (!isRunning() || frame.pixels == nullptr || frame.bytes != frameBytes_) return;
  arrived_.fetch_add(1, std::memory_order_relaxed);
  if (pacingReset_.exchange(false, std::memory_order_acquire)) pacing_.reset();
  if (!pacing_.admit(frame.arrival)) return;
  const FrameStamp stamp{++sequence_, std::chrono::duration_cast<std::chrono::nanoseconds>(
                                           frame.arrival.time_since_epoch())
                                           .count()};
  frames_.push(std::span(frame.pixels, frame.bytes), stamp);
}

void CaptureChannel::run() {
  FrameStamp stamp;
  while (const std::uint8_t* frame = frames_.take(stamp)) process(frame, stamp);
}

void CaptureChannel::process(const std::uint8_t* frame, const FrameStamp& stamp) {
  const std::uint8_t* picture = frame;
  if (!detector_->processFrame(picture)) return;
  fired_.clear();
  regionManager_->evaluateFrame(fired_);
  processed_.fetch_add(1, std::memory_order_release);
  ChannelPassCallback callback;
  {
    MutexLock lock(callbackMutex_);
    callback = passCallback_;
  }
  callback(DetectionPass{picture, fired_, stamp});
}

void CaptureChannel::setZoneOrientation(Orientation orientation) {
  regionManager_->setFrameLayout(frameWidth_, frameHeight_, orientation);
}

Orientation CaptureChannel::zoneOrientation() const { return regionManager_->zoneOrientation(); }

}  // namespace tessary
