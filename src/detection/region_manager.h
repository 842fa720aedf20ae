// The regions watched on one camera: one per zone, evaluated on every frame.
//
// Threads: regions are changed on the main thread and evaluated on the
// detection thread. Every operation and evaluateFrame take `mutex_`, which
// this object owns; it calls out to nothing but the detector while holding it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "detection/detection_interface.h"
#include "detection/detection_region.h"
#include "detection/region_mask.h"
#include "common/frame.h"
#include "common/thread_annotations.h"

namespace tessary {

class RegionManager {
 public:
  RegionManager();
  virtual ~RegionManager();

  RegionManager(const RegionManager&) = delete;
  RegionManager& operator=(const RegionManager&) = delete;

  // Number of slots, free ones included. Region index = slot index = zone id.
  virtual std::int32_t count() const;
  // Creates a region in the lowest free slot (or a new one) from a rectangle in
  // the client's orientation; it starts active, with no mask and empty results.
  virtual bool add(std::int32_t& index, const RegionDescriptor& descriptor);
  // Frees the slot; the slot count never shrinks.
  virtual void remove(std::int32_t index);
  // Moves the region, keeping its size. Coordinates in the client's orientation.
  virtual void move(std::int32_t index, std::int32_t x, std::int32_t y);
  virtual void setRect(std::int32_t index, std::int32_t x, std::int32_t y, std::int32_t width,
                       std::int32_t height);
  virtual void setSensitivity(std::int32_t index, std::int32_t sensitivity);
  // Also recomputes the required count from the current area; nothing else does.
  virtual void setThreshold(std::int32_t index, std::int32_t threshold);
  // Attaches mask `maskId` (or -1 for none). The mask must exist.
  virtual bool assignMask(std::int32_t index, std::int32_t maskId);
  virtual bool createMask(std::int32_t& maskId, std::span<const std::uint8_t> bytes,
                          std::int32_t width, std::int32_t height);
  // Regions using the mask go back to no mask.
  virtual bool deleteMask(std::int32_t maskId);
  virtual void setActive(std::int32_t index, std::uint8_t flag);
  // 0 for a free or absent slot.
  virtual std::uint8_t isActive(std::int32_t index) const;
  // Changed share of the region's area in percent, 0..100; not 0 only after a hit.
  virtual std::uint32_t motionAmount(std::int32_t index) const;
  // Rectangles in the client's orientation and units.
  virtual bool rect(std::int32_t index, std::int32_t& x, std::int32_t& y, std::int32_t& width,
                    std::int32_t& height) const;
  // Removes every region and mask.
  virtual bool clear();

  // The per-frame step, after the detector processed the frame: evaluates
  // every active region and appends the slot index of each that fires (its
  // count reached its required count) to `fired`, in slot order. False when
  // there are no slots or no detector. Allocates only when `fired` has to grow.
  bool evaluateFrame(std::vector<std::int32_t>& fired);
  // How the client's rectangles lie on the frame: the frame's size and the
  // zones' turn against the camera's upright picture. Regions keep their
  // places as the client sees them. Until set: no turn, nothing to turn in.
  void setFrameLayout(std::int32_t frameWidth, std::int32_t frameHeight, Orientation zones);
  Orientation zoneOrientation() const;
  // The detector to evaluate with, or null. After this returns, no evaluation
  // uses the previous detector any more, so its owner may destroy it.
  void setDetector(DetectionInterface* detector);

  // Scale from input coordinates to frame pixels; 1.0 unless set. Values that
  // are not positive and finite are refused.
  bool setScale(float scaleX, float scaleY);
  float scaleX() const;
  float scaleY() const;
  // Regions added minus regions removed.
  std::int32_t liveCount() const;
  // A copy of the region in slot `index`; false for a free or absent slot.
  bool regionAt(std::int32_t index, DetectionRegion& out) const;

 private:
  DetectionRegion* regionLocked(std::int32_t index) TESSARY_REQUIRES(mutex_);
  const DetectionRegion* regionLocked(std::int32_t index) const TESSARY_REQUIRES(mutex_);
  const RegionMask* maskLocked(std::int32_t maskId) const TESSARY_REQUIRES(mutex_);
  void setRectLocked(DetectionRegion& region, std::int32_t x, std::int32_t y, std::int32_t width,
                     std::int32_t height) TESSARY_REQUIRES(mutex_);
  void setThresholdLocked(DetectionRegion& region, std::int32_t threshold) TESSARY_REQUIRES(mutex_);
  // Brings the watched lists in step with the regions and masks. Every
  // operation that changes which regions are counted, or moves them in
  // memory, calls it; frames then walk no free slot, paused region or
  // misfitting mask.
  void refreshWatchedLocked() TESSARY_REQUIRES(mutex_);
  // Adds the region in `slot`, after every slot already listed, to the
  // watched or the resting list.
  void watchSlotLocked(std::size_t slot) TESSARY_REQUIRES(mutex_);

  mutable Mutex mutex_;
  std::vector<std::optional<DetectionRegion>> regions_ TESSARY_GUARDED_BY(mutex_);
  std::vector<std::unique_ptr<RegionMask>> masks_ TESSARY_GUARDED_BY(mutex_);
  std::int32_t liveCount_ TESSARY_GUARDED_BY(mutex_) = 0;
  float scaleX_ TESSARY_GUARDED_BY(mutex_) = 1.0f;
  float scaleY_ TESSARY_GUARDED_BY(mutex_) = 1.0f;
  DetectionInterface* detector_ TESSARY_GUARDED_BY(mutex_) = nullptr;
  std::int32_t frameWidth_ TESSARY_GUARDED_BY(mutex_) = 0;
  std::int32_t frameHeight_ TESSARY_GUARDED_BY(mutex_) = 0;
  Orientation zones_ TESSARY_GUARDED_BY(mutex_);
  // The regions that frames count, in slot order, with their masks and slots
  // side by side so that they go to the detector as they stand.
  std::vector<DetectionRegion*> watchedRegions_ TESSARY_GUARDED_BY(mutex_);
  std::vector<MaskView> watchedMasks_ TESSARY_GUARDED_BY(mutex_);
  std::vector<std::size_t> watchedSlots_ TESSARY_GUARDED_BY(mutex_);
  // Paused regions and those whose mask no longer fits: their counts are
  // cleared on every frame.
  std::vector<DetectionRegion*> restingRegions_ TESSARY_GUARDED_BY(mutex_);
};

}  // namespace tessary
