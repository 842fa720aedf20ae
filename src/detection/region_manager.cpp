#include "detection/region_manager.h"

#include <algorithm>
#include <cmath>

#include "detection/saturating_cast.h"

namespace tessary {

namespace {

using detail::saturateToInt32;
using detail::truncateToInt32;

// Pixels a region's counts are measured against: the mask's pixels when a mask
// with any is assigned, else the rectangle's area (0 when it is empty).
std::int64_t measuredArea(const DetectionRegion& region, const RegionMask* mask) {
  if (mask != nullptr && mask->pixelCount() != 0) return mask->pixelCount();
  if (region.width <= 0 || region.height <= 0) return 0;
  return std::int64_t{region.width} * region.height;
}

std::int32_t divideByScale(std::int32_t value, float scale) {
  return truncateToInt32(static_cast<double>(value) / static_cast<double>(scale));
}

std::int32_t multiplyByScale(std::int32_t value, float scale) {
  return truncateToInt32(static_cast<double>(value) * static_cast<double>(scale));
}

void zeroOut(std::int32_t& x, std::int32_t& y, std::int32_t& width, std::int32_t& height) {
  x = y = width = height = 0;
}

}  // namespace

RegionManager::RegionManager() = default;
RegionManager::~RegionManager() = default;

DetectionRegion* RegionManager::regionLocked(std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= regions_.size()) return nullptr;
  auto& slot = regions_[static_cast<std::size_t>(index)];
  return slot ? &*slot : nullptr;
}

const DetectionRegion* RegionManager::regionLocked(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= regions_.size()) return nullptr;
  const auto& slot = regions_[static_cast<std::size_t>(index)];
  return slot ? &*slot : nullptr;
}

const RegionMask* RegionManager::maskLocked(std::int32_t maskId) const {
  if (maskId < 0 || static_cast<std::size_t>(maskId) >= masks_.size()) return nullptr;
  return masks_[static_cast<std::size_t>(maskId)].get();
}

std::int32_t RegionManager::count() const {
  MutexLock lock(mutex_);
  return static_cast<std::int32_t>(regions_.size());
}

bool RegionManager::add(std::int32_t& index, const RegionDescriptor& descriptor) {
  MutexLock lock(mutex_);
  // With every slot taken, as while a grid is being added, there is no free
  // one to look for.
  const bool slotsFull = static_cast<std::size_t>(liveCount_) == regions_.size();
  ++liveCount_;
  auto freeSlot = slotsFull ? regions_.end()
                            : std::find_if(regions_.begin(), regions_.end(),
                                           [](const auto& slot) { return !slot.has_value(); });
  const bool appended = freeSlot == regions_.end();
  const auto* const slotsBefore = regions_.data();
  if (appended) freeSlot = regions_.emplace(regions_.end());
  index = static_cast<std::int32_t>(freeSlot - regions_.begin());

  DetectionRegion& region = freeSlot->emplace();
  setRectLocked(region, descriptor.x, descriptor.y, descriptor.width, descriptor.height);
  region.level = levelForSensitivity(descriptor.sensitivity);
  region.active = 1;
  region.current = DetectionResult{};
  region.previous = DetectionResult{};
  region.maskId = -1;
  setThresholdLocked(region, descriptor.threshold);
  // A new last slot that moved no region only joins the end of the lists, so
  // a grid's zones are added in linear time; otherwise the lists are rebuilt.
  if (appended && regions_.data() == slotsBefore) {
    watchSlotLocked(static_cast<std::size_t>(index));
  } else {
    refreshWatchedLocked();
  }
  return true;
}

void RegionManager::remove(std::int32_t index) {
  MutexLock lock(mutex_);
  DetectionRegion* region = regionLocked(index);
  if (region == nullptr) return;
  regions_[static_cast<std::size_t>(index)].reset();
  --liveCount_;
  refreshWatchedLocked();
}

void RegionManager::move(std::int32_t index, std::int32_t x, std::int32_t y) {
  MutexLock lock(mutex_);
  DetectionRegion* region = regionLocked(index);
  if (region == nullptr) return;
  region->x = saturateToInt32(
      zones_.turnedLeft(divideByScale(x, scaleX_), region->width, frameWidth_));
  region->y = saturateToInt32(
      zones_.turnedTop(divideByScale(y, scaleY_), region->height, frameHeight_));
}

void RegionManager::setRect(std::int32_t index, std::int32_t x, std::int32_t y,
                            std::int32_t width, std::int32_t height) {
  MutexLock lock(mutex_);
  DetectionRegion* region = regionLocked(index);
  if (region == nullptr) return;
  setRectLocked(*region, x, y, width, height);
  refreshWatchedLocked();  // a mask may fit the new size, or no longer
}

void RegionManager::setRectLocked(DetectionRegion& region, std::int32_t x, std::int32_t y,
                                  std::int32_t width, std::int32_t height) {
  region.width = divideByScale(width, scaleX_);
  region.height = divideByScale(height, scaleY_);
  region.x = saturateToInt32(
      zones_.turnedLeft(divideByScale(x, scaleX_), region.width, frameWidth_));
  region.y = saturateToInt32(
      zones_.turnedTop(divideByScale(y, scaleY_), region.height, frameHeight_));
}

void RegionManager::setSensitivity(std::int32_t index, std::int32_t sensitivity) {
  MutexLock lock(mutex_);
  if (DetectionRegion* region = regionLocked(index)) region->level = levelForSensitivity(sensitivity);
}

void RegionManager::setThreshold(std::int32_t index, std::int32_t threshold) {
  MutexLock lock(mutex_);
  if (DetectionRegion* region = regionLocked(index)) setThresholdLocked(*region, threshold);
}

void RegionManager::setThresholdLocked(DetectionRegion& region, std::int32_t threshold) {
  region.thresholdPercent = thresholdPercentFor(threshold);
  region.requiredCount =
      requiredCountFor(measuredArea(region, maskLocked(region.maskId)), region.thresholdPercent);
}

bool RegionManager::assignMask(std::int32_t index, std::int32_t maskId) {
  MutexLock lock(mutex_);
  DetectionRegion* region = regionLocked(index);
  if (region == nullptr) return false;
  if (maskId != -1 && maskLocked(maskId) == nullptr) return false;
  region->maskId = maskId;
  refreshWatchedLocked();
  return true;
}

bool RegionManager::createMask(std::int32_t& maskId, std::span<const std::uint8_t> bytes,
                               std::int32_t width, std::int32_t height) {
  auto mask = std::make_unique<RegionMask>();
  if (!RegionMask::create(bytes, width, height, *mask)) return false;
  MutexLock lock(mutex_);
  auto freeSlot = std::find(masks_.begin(), masks_.end(), nullptr);
  if (freeSlot == masks_.end()) freeSlot = masks_.emplace(masks_.end());
  *freeSlot = std::move(mask);
  maskId = static_cast<std::int32_t>(freeSlot - masks_.begin());
  return true;
}

bool RegionManager::deleteMask(std::int32_t maskId) {
  MutexLock lock(mutex_);
  if (maskLocked(maskId) == nullptr) return false;
  masks_[static_cast<std::size_t>(maskId)].reset();
  // A later mask may reuse the id; it must not attach itself silently.
  for (auto& slot : regions_) {
    if (slot && slot->maskId == maskId) slot->maskId = -1;
  }
  refreshWatchedLocked();
  return true;
}

void RegionManager::setActive(std::int32_t index, std::uint8_t flag) {
  MutexLock lock(mutex_);
  DetectionRegion* region = regionLocked(index);
  if (region == nullptr) return;
  region->active = flag;
  refreshWatchedLocked();
}

std::uint8_t RegionManager::isActive(std::int32_t index) const {
  MutexLock lock(mutex_);
  const DetectionRegion* region = regionLocked(index);
  return region != nullptr ? region->active : std::uint8_t{0};
}

std::uint32_t RegionManager::motionAmount(std::int32_t index) const {
  MutexLock lock(mutex_);
  const DetectionRegion* region = regionLocked(index);
  // A paused region reports no motion at once, not only after the next frame.
  if (region == nullptr || !region->active) return 0;
  const std::uint32_t count =
      region->current.count != 0 ? region->current.count : region->previous.count;
  if (count == 0) return 0;
  const std::int64_t area = measuredArea(*region, maskLocked(region->maskId));
  if (area <= 0) return 0;
  const double percent =
      static_cast<double>(count) / static_cast<double>(static_cast<float>(area)) * 100.0;
  // A count taken before the region shrank can exceed its new area.
  return percent >= 100.0 ? 100u : static_cast<std::uint32_t>(percent);
}

bool RegionManager::rect(std::int32_t index, std::int32_t& x, std::int32_t& y,
                         std::int32_t& width, std::int32_t& height) const {
  MutexLock lock(mutex_);
  const DetectionRegion* region = regionLocked(index);
  if (region == nullptr) {
    zeroOut(x, y, width, height);
    return false;
  }
  const std::int32_t clientX =
      saturateToInt32(zones_.turnedLeft(region->x, region->width, frameWidth_));
  const std::int32_t clientY =
      saturateToInt32(zones_.turnedTop(region->y, region->height, frameHeight_));
  x = multiplyByScale(clientX, scaleX_);
  y = multiplyByScale(clientY, scaleY_);
  width = multiplyByScale(region->width, scaleX_);
  height = multiplyByScale(region->height, scaleY_);
  return true;
}

bool RegionManager::clear() {
  MutexLock lock(mutex_);
  liveCount_ = 0;
  masks_.clear();
  regions_.clear();
  refreshWatchedLocked();
  return true;
}

bool RegionManager::evaluateFrame(std::vector<std::int32_t>& fired) {
  MutexLock lock(mutex_);
  if (regions_.empty() || detector_ == nullptr) return false;
  for (DetectionRegion* region : restingRegions_) {
    region->current.count = 0;
    region->previous.count = 0;
  }
  detector_->detectEach(watchedRegions_, watchedMasks_);
  for (std::size_t i = 0; i < watchedRegions_.size(); ++i) {
    DetectionRegion& region = *watchedRegions_[i];
    // A frame's count fires; a frame that counted nothing after a firing one
    // fires once more on the count before it. A count short of the required
    // one is dropped at once, so it never fires later.
    bool fires = false;
    if (region.current.count != 0) {
      if (region.current.count >= region.requiredCount) {
        fires = true;
      } else {
        region.current.count = 0;
      }
    } else if (region.previous.count != 0) {
      if (region.previous.count >= region.requiredCount) {
        fires = true;
      } else {
        region.previous.count = 0;
      }
    }
    if (fires) fired.push_back(static_cast<std::int32_t>(watchedSlots_[i]));
  }
  return true;
}

void RegionManager::refreshWatchedLocked() {
  watchedRegions_.clear();
  watchedMasks_.clear();
  watchedSlots_.clear();
  restingRegions_.clear();
  for (std::size_t slot = 0; slot < regions_.size(); ++slot) {
    if (regions_[slot]) watchSlotLocked(slot);
  }
}

void RegionManager::watchSlotLocked(std::size_t slot) {
  DetectionRegion& region = *regions_[slot];
  const RegionMask* mask = maskLocked(region.maskId);
  const MaskView maskView = mask != nullptr ? mask->turned(zones_) : MaskView{};
  // A mask that no longer fits the region would leave the old counts in
  // place and fire on every frame; such a region rests like a paused one.
  if (!region.active || !maskView.fits(region)) {
    restingRegions_.push_back(&region);
    return;
  }
  watchedRegions_.push_back(&region);
  watchedMasks_.push_back(maskView);
  watchedSlots_.push_back(slot);
}

void RegionManager::setFrameLayout(std::int32_t frameWidth, std::int32_t frameHeight,
                                   Orientation zones) {
  MutexLock lock(mutex_);
  for (auto& slot : regions_) {
    if (!slot) continue;
    // Back to where the client put it, then onto the new layout.
    const std::int64_t clientX = zones_.turnedLeft(slot->x, slot->width, frameWidth_);
    const std::int64_t clientY = zones_.turnedTop(slot->y, slot->height, frameHeight_);
    slot->x = saturateToInt32(zones.turnedLeft(clientX, slot->width, frameWidth));
    slot->y = saturateToInt32(zones.turnedTop(clientY, slot->height, frameHeight));
  }
  frameWidth_ = frameWidth;
  frameHeight_ = frameHeight;
  zones_ = zones;
  refreshWatchedLocked();  // masks turn with the zones
}

Orientation RegionManager::zoneOrientation() const {
  MutexLock lock(mutex_);
  return zones_;
}

void RegionManager::setDetector(DetectionInterface* detector) {
  MutexLock lock(mutex_);
  detector_ = detector;
}

bool RegionManager::setScale(float scaleX, float scaleY) {
  if (!std::isfinite(scaleX) || !std::isfinite(scaleY) || scaleX <= 0.0f || scaleY <= 0.0f) {
    return false;
  }
  MutexLock lock(mutex_);
  scaleX_ = scaleX;
  scaleY_ = scaleY;
  return true;
}

float RegionManager::scaleX() const {
  MutexLock lock(mutex_);
  return scaleX_;
}

float RegionManager::scaleY() const {
  MutexLock lock(mutex_);
  return scaleY_;
}

std::int32_t RegionManager::liveCount() const {
  MutexLock lock(mutex_);
  return liveCount_;
}

bool RegionManager::regionAt(std::int32_t index, DetectionRegion& out) const {
  MutexLock lock(mutex_);
  const DetectionRegion* region = regionLocked(index);
  if (region == nullptr) return false;
  out = *region;
  return true;
}

}  // namespace tessary
