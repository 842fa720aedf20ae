#include "zones/video_controller.h"

#include <algorithm>
#include <cmath>

#include "capture/camera_registry.h"  // complete types for the members' clean-up
#include "capture/capture_channel.h"
#include "common/frame.h"
#include "detection/region_manager.h"
#include "zones/zone_units.h"

namespace tessary {

using zone_units::storedName;
using zone_units::scaleToFrame;
using zone_units::truncateToInt32;

VideoController::VideoController() : VideoController(SteadyMillisecondClock::instance()) {}

VideoController::VideoController(MillisecondClock& clock) : clock_(&clock) {
  // Room for a usual pass's hits, so that passes seldom allocate.
  for (HitScratch& scratch : scratch_) {
    scratch.names.reserve(64);
    scratch.hits.reserve(64);
  }
}

bool VideoController::setScale(float clientWidth, float clientHeight) {
  if (!std::isfinite(clientWidth) || !std::isfinite(clientHeight) || clientWidth <= 0.0f ||
      clientHeight <= 0.0f) {
    return false;
  }
  scaleX_ = static_cast<float>(static_cast<double>(kFrameWidth) / static_cast<double>(clientWidth));
  scaleY_ =
      static_cast<float>(static_cast<double>(kFrameHeight) / static_cast<double>(clientHeight));
  return true;
}

// Divided in double from the float factor: a client width of 800 keeps 0.2's
// float error and reaches 799, not 800.
std::int32_t VideoController::maxX() const {
  return truncateToInt32(static_cast<double>(kFrameWidth) / static_cast<double>(scaleX_));
}

std::int32_t VideoController::maxY() const {
  return truncateToInt32(static_cast<double>(kFrameHeight) / static_cast<double>(scaleY_));
}

VideoController::Rect VideoController::clampToClient(Rect r) const {
  const std::int32_t limitX = maxX();
  const std::int32_t limitY = maxY();
  // The order matters: the size is cut against the already clamped corner.
  if (r.x < 0) r.x = 0;
  if (r.y < 0) r.y = 0;
  if (r.x > limitX) r.x = limitX;
  if (r.y > limitY) r.y = limitY;
  if (std::int64_t{r.x} + r.width > limitX) r.width = limitX - r.x;
  if (std::int64_t{r.y} + r.height > limitY) r.height = limitY - r.y;
  return r;
}

VideoController::Rect VideoController::toFramePixels(Rect client) const {
  return Rect{scaleToFrame(client.x, scaleX_),
              scaleToFrame(client.y, scaleY_),
              scaleToFrame(client.width, scaleX_),
              scaleToFrame(client.height, scaleY_)};
}

void VideoController::placeRegion(std::int32_t zoneId, Rect requested) {
  RegionManager* manager = currentRegionManager();
  if (manager == nullptr) return;
  Rect frame = toFramePixels(clampToClient(requested));
  manager->setRect(zoneId, frame.x, frame.y, frame.width, frame.height);
}

std::int32_t VideoController::addZone(std::string_view name, std::int32_t x, std::int32_t y,
                                      std::int32_t width, std::int32_t height) {
  RegionManager* manager = currentRegionManager();
  if (manager == nullptr) return -1;

  Rect frame = toFramePixels(clampToClient(Rect{x, y, width, height}));
  RegionDescriptor descriptor;
  descriptor.x = frame.x;
  descriptor.y = frame.y;
  descriptor.width = frame.width;
  descriptor.height = frame.height;
  // Replaced by the defaults right below.
  descriptor.sensitivity = 80;
  descriptor.threshold = 4;

  std::int32_t zoneId = -1;
  if (!manager->add(zoneId, descriptor) || zoneId < 0) return -1;
  manager->setSensitivity(zoneId, sensitivityDefault_);
  manager->setThreshold(zoneId, thresholdDefault_);

  ZoneSlot slot;
  slot.record.name.assign(storedName(name));
  slot.record.status = ZoneStatus::kCreated;
  slot.record.x = x;
  slot.record.y = y;
  slot.record.width = width;
  slot.record.height = height;
  slot.record.sensitivity = sensitivityDefault_;
  slot.record.threshold = thresholdDefault_;
  slot.record.pauseRemaining = 0;
  slot.reportsHits = true;

  const auto index = static_cast<std::size_t>(zoneId);
  if (index >= zones_.size()) zones_.resize(index + 1);
  zones_[index] = slot;
  hitNames_.report(zoneId, slot.record.name);
  return zoneId;
}

std::int32_t VideoController::findZoneIn(std::string_view name, std::size_t limit) const {
  const std::string_view key = storedName(name);
  limit = std::min(limit, zones_.size());
  for (std::size_t i = 0; i < limit; ++i) {
    if (zones_[i].record.name.view() == key) return static_cast<std::int32_t>(i);
  }
  return -1;
}

std::size_t VideoController::zoneSearchLimit() const {
  return static_cast<std::size_t>(std::max(zoneCount(), 0));
}

std::int32_t VideoController::findZone(std::string_view name) const {
  return findZoneIn(name, zones_.size());
}

bool VideoController::zoneExists(std::string_view name) const {
  return findZoneIn(name, zoneSearchLimit()) >= 0;
}

std::string_view VideoController::zoneName(std::int32_t zoneId) const {
  if (zoneId < 0 || static_cast<std::size_t>(zoneId) >= zones_.size()) return {};
  return zones_[static_cast<std::size_t>(zoneId)].record.name.view();
}

std::int32_t VideoController::zoneCount() const {
  RegionManager* manager = currentRegionManager();
  return manager == nullptr ? 0 : manager->count();
}

void VideoController::deleteZone(std::string_view name) {
  RegionManager* manager = currentRegionManager();
  const std::int32_t zoneId = findZone(name);
  if (manager == nullptr || zoneId < 0) return;
  ZoneSlot& slot = zones_[static_cast<std::size_t>(zoneId)];
  // A record deleted before no longer owns its slot, which another zone may
  // hold by now.
  if (slot.reportsHits) manager->remove(zoneId);
  hitNames_.silence(zoneId);
  slot.reportsHits = false;
  slot.record.status = ZoneStatus::kDeleted;
  // A pause left running would later overwrite the status of the dead record.
  slot.record.pauseRemaining = 0;
}

void VideoController::markZoneDeleted(std::string_view name) {
  const std::int32_t zoneId = findZone(name);
  if (!hasCamera() || zoneId < 0) return;
  ZoneRecord& record = zones_[static_cast<std::size_t>(zoneId)].record;
  // The suffix always fits whole: cutting it short would leave a 127-character
  // name unchanged, and the dead record would keep answering to it.
  record.name = zone_units::withSuffix(record.name.view(), "-Deleted");
  if (zones_[static_cast<std::size_t>(zoneId)].reportsHits) hitNames_.report(zoneId, record.name);
}

void VideoController::moveZone(std::string_view name, std::int32_t x, std::int32_t y) {
  const std::int32_t zoneId = findZone(name);
  if (!hasCamera() || zoneId < 0) return;
  ZoneRecord& record = zones_[static_cast<std::size_t>(zoneId)].record;
  placeRegion(zoneId, Rect{x, y, record.width, record.height});
  record.status = ZoneStatus::kMoved;
  record.x = x;
  record.y = y;
}

void VideoController::resizeZone(std::string_view name, std::int32_t width, std::int32_t height) {
  const std::int32_t zoneId = findZone(name);
  if (!hasCamera() || zoneId < 0) return;
  ZoneRecord& record = zones_[static_cast<std::size_t>(zoneId)].record;
  placeRegion(zoneId, Rect{record.x, record.y, width, height});
  record.status = ZoneStatus::kResized;
  record.width = width;
  record.height = height;
}

void VideoController::moveSizeZone(std::string_view name, std::int32_t x, std::int32_t y,
                                   std::int32_t width, std::int32_t height) {
  const std::int32_t zoneId = findZone(name);
  if (!hasCamera() || zoneId < 0) return;
  ZoneRecord& record = zones_[static_cast<std::size_t>(zoneId)].record;
  placeRegion(zoneId, Rect{x, y, width, height});
  record.status = ZoneStatus::kMovedResized;
  record.x = x;
  record.y = y;
  record.width = width;
  record.height = height;
}

void VideoController::setZoneSensitivity(std::string_view name, std::int32_t value) {
  RegionManager* manager = currentRegionManager();
  const std::int32_t zoneId = findZone(name);
  if (manager == nullptr || zoneId < 0) return;
  manager->setSensitivity(zoneId, value);
  zones_[static_cast<std::size_t>(zoneId)].record.sensitivity = value;
}

void VideoController::setZoneThreshold(std::string_view name, std::int32_t value) {
  RegionManager* manager = currentRegionManager();
  const std::int32_t zoneId = findZone(name);
  if (manager == nullptr || zoneId < 0) return;
  manager->setThreshold(zoneId, value);
  zones_[static_cast<std::size_t>(zoneId)].record.threshold = value;
}

void VideoController::setZoneActive(std::string_view name, bool active) {
  RegionManager* manager = currentRegionManager();
  const std::int32_t zoneId = findZone(name);
  if (manager == nullptr || zoneId < 0) return;
  manager->setActive(zoneId, active ? 1 : 0);
}

void VideoController::setZoneActiveAt(std::int32_t zoneId, bool active) {
  RegionManager* manager = currentRegionManager();
  if (manager == nullptr || zoneId < 0 || static_cast<std::size_t>(zoneId) >= zones_.size()) {
    return;
  }
  manager->setActive(zoneId, active ? 1 : 0);
}

bool VideoController::zoneActive(std::int32_t zoneId) const {
  RegionManager* manager = currentRegionManager();
  return manager != nullptr && manager->isActive(zoneId) != 0;
}

std::int32_t VideoController::zoneMotionAmount(std::int32_t zoneId) const {
  RegionManager* manager = currentRegionManager();
  if (manager == nullptr) return 0;
  return static_cast<std::int32_t>(std::min<std::uint32_t>(manager->motionAmount(zoneId), 100));
}

void VideoController::pauseZone(std::string_view name, std::uint32_t milliseconds) {
  RegionManager* manager = currentRegionManager();
  const std::int32_t zoneId = findZone(name);
  if (manager == nullptr || zoneId < 0) return;
  manager->setActive(zoneId, milliseconds != 0 ? 0 : 1);
  ZoneRecord& record = zones_[static_cast<std::size_t>(zoneId)].record;
  record.pauseRemaining = milliseconds;
  record.status = milliseconds != 0 ? ZoneStatus::kInvalid : ZoneStatus::kResumed;
}

void VideoController::tickPauseTimers() {
  const std::uint32_t now = clock_->nowMilliseconds();
  if (!lastPauseTick_) lastPauseTick_ = now;
  // Unsigned: correct across the counter's wrap.
  const std::uint32_t elapsed = now - *lastPauseTick_;
  lastPauseTick_ = now;

  RegionManager* manager = currentRegionManager();
  if (manager == nullptr) return;
  for (std::size_t i = 0; i < zones_.size(); ++i) {
    const std::uint32_t remaining = zones_[i].record.pauseRemaining;
    if (remaining == 0) continue;
    if (remaining > elapsed) {
          zones_[i].record.pauseRemaining = remaining - elapsed;
      continue;
    }
    manager->setActive(static_cast<std::int32_t>(i), 1);
      zones_[i].record.status = ZoneStatus::kResumed;
    zones_[i].record.pauseRemaining = 0;
  }
}

std::vector<VideoController::ZoneView> VideoController::zoneViews() const {
  std::vector<ZoneView> views;
  RegionManager* manager = currentRegionManager();
  if (manager == nullptr) return views;
  const std::int32_t count = std::min<std::int32_t>(manager->count(),
                                                    static_cast<std::int32_t>(zones_.size()));
  for (std::int32_t id = 0; id < count; ++id) {
    ZoneView view;
    if (!manager->rect(id, view.frameX, view.frameY, view.frameWidth, view.frameHeight)) continue;
    view.id = id;
    view.record = zones_[static_cast<std::size_t>(id)].record;
    view.active = manager->isActive(id) != 0;
    view.motionAmount = zoneMotionAmount(id);
    views.push_back(view);
  }
  return views;
}

bool VideoController::copyZoneRecord(std::string_view name, ZoneRecord& out) const {
  const std::int32_t zoneId = findZone(name);
  if (zoneId < 0) {
    out = ZoneRecord{};
    return false;
  }
  out = zones_[static_cast<std::size_t>(zoneId)].record;
  return true;
}

std::optional<std::string_view> VideoController::zoneStatusText(std::string_view name) {
  const std::int32_t zoneId = findZone(name);
  if (zoneId < 0) return std::nullopt;
  const ZoneRecord& record = zones_[static_cast<std::size_t>(zoneId)].record;
  const std::string_view status = zoneStatusName(record.status);
  formatText(statusText_.buffer(), "%.*s - (%d,%d)-(%d,%d)", static_cast<int>(status.size()),
             status.data(), scaleToFrame(record.x, scaleX_), scaleToFrame(record.y, scaleY_),
             scaleToFrame(record.width, scaleX_), scaleToFrame(record.height, scaleY_));
  return statusText_.view();
}

std::string_view VideoController::zoneSummaryText(std::string_view name) {
  const std::int32_t zoneId = findZone(name);
  if (zoneId < 0) {
    summaryText_.assign(kIllegalZoneId);
    return summaryText_.view();
  }
  const ZoneRecord& record = zones_[static_cast<std::size_t>(zoneId)].record;
  const std::string_view status = zoneStatusName(record.status);
  formatText(summaryText_.buffer(), "%s, %.*s, %d, %d, %d, %d, %d, %d", record.name.c_str(),
             static_cast<int>(status.size()), status.data(), record.x, record.y, record.width,
             record.height, record.threshold, record.sensitivity);
  return summaryText_.view();
}

std::string_view VideoController::zoneAttributesText(std::string_view name) {
  const std::int32_t zoneId = findZoneIn(name, zoneSearchLimit());
  if (zoneId < 0) {
    attributesText_.assign(kIllegalZoneId);
    return attributesText_.view();
  }
  const ZoneRecord& record = zones_[static_cast<std::size_t>(zoneId)].record;
  const std::string_view status = zoneStatusName(record.status);
  formatText(attributesText_.buffer(),
             "name=\"%s\" status=\"%.*s\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" "
             "threshold=\"%d\" sensitivity=\"%d\"",
             record.name.c_str(), static_cast<int>(status.size()), status.data(), record.x,
             record.y, record.width, record.height, record.threshold, record.sensitivity);
  return attributesText_.view();
}

void VideoController::clearAllZones() {
  if (RegionManager* manager = currentRegionManager()) manager->clear();
  zones_.clear();
  hitNames_.clear();
  grids_.clear();
}

}  // namespace tessary
