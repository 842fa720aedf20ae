// The zone server's one process-wide object: the zones and grids of the
// camera in use, in the client's coordinates, over that camera's region
// manager. It owns the cameras (a CameraBank) and the picture it shares with
// the display (a SharedPicture), and turns each pass's fired regions into
// named hits for its event sinks.
//
//   VideoController controller;
//   controller.eventSinks().add(replies);
//   controller.initialize(std::make_unique<CameraRegistry>(makeDemoCaptureBackend()));
//   controller.setScale(screenWidth, screenHeight);
//   controller.cameras().startCapture();
//
// Threads: every operation below runs on the main thread, except where noted.
//  - handlePass runs on the channel thread of the camera in use, once per
//    processed frame: it reads the names of the zones that fired from
//    ZoneHitNames (under its own lock), hands them as one batch to the event
//    sinks with no lock held, and copies the picture for the display. The
//    zone and grid records themselves are the main thread's alone.
//  - For the cameras' threads see CameraBank; for the display's, SharedPicture.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "common/fixed_text.h"
#include "common/frame.h"
#include "common/millisecond_clock.h"
#include "zones/camera_bank.h"
#include "zones/shared_picture.h"
#include "zones/zone_event_sink.h"
#include "zones/zone_hit_names.h"
#include "zones/zone_record.h"

namespace tessary {

class CameraRegistry;
class RegionManager;

class VideoController {
 public:
  static constexpr std::int32_t kInitialSensitivityDefault = 50;
  static constexpr std::int32_t kInitialThresholdDefault = 20;
  static constexpr std::size_t kDescriptionCapacity = 256;
  static constexpr std::string_view kIllegalZoneId = "illegal zone ID";

  // The pause countdown reads `clock`, which must outlive the controller.
  VideoController();
  explicit VideoController(MillisecondClock& clock);
  // Shuts capture down first, so that no tick calls into a half-destroyed
  // controller.
  ~VideoController();
  VideoController(const VideoController&) = delete;
  VideoController& operator=(const VideoController&) = delete;

  // --- Cameras and the picture ------------------------------------------
  // Start-up, once: the cameras (see CameraBank::initialize), with zones
  // mirrored against each camera and the picture drawn so that it shows them
  // upright. Returns false on the first failure; the program runs on
  // regardless.
  bool initialize(std::unique_ptr<CameraRegistry> registry);
  // Clears all zones and grids, then moves capture to camera `index`.
  void selectCamera(std::int32_t index);
  // Stops and destroys every camera and channel with their region managers;
  // zone operations then do nothing. Safe to call more than once.
  void shutdown() { cameras_.shutdown(); }

  CameraBank& cameras() { return cameras_; }
  const CameraBank& cameras() const { return cameras_; }
  // The newest processed frame and how it is drawn.
  SharedPicture& picture() { return picture_; }
  const SharedPicture& picture() const { return picture_; }

  // The zone operations work on the region manager of the current camera;
  // its regions call this controller back, so the controller must outlive
  // it. Installing a different one (CameraBank::setCurrentRegionManager)
  // calls for clearAllZones first: the zone table belongs to the manager.
  RegionManager* currentRegionManager() const { return cameras_.currentRegionManager(); }

  // Where each detection pass's hits go (see ZoneEventSink).
  ZoneEventFanOut& eventSinks() { return eventSinks_; }

  // --- Client units ------------------------------------------------------
  // Sets the client's coordinate space. Refuses (returns false, changes
  // nothing) a size that is not a positive finite number, which would make
  // the scale factors infinite or negative.
  bool setScale(float clientWidth, float clientHeight);
  float scaleX() const { return scaleX_; }
  float scaleY() const { return scaleY_; }
  // The largest client coordinates a zone may reach on each axis.
  std::int32_t maxX() const;
  std::int32_t maxY() const;

  // Given to every zone created afterwards; stored as given.
  std::int32_t sensitivityDefault() const { return sensitivityDefault_; }
  void setSensitivityDefault(std::int32_t value) { sensitivityDefault_ = value; }
  std::int32_t thresholdDefault() const { return thresholdDefault_; }
  void setThresholdDefault(std::int32_t value) { thresholdDefault_ = value; }

  // --- Zones -------------------------------------------------------------
  // Names are compared exactly; a name longer than 127 characters is cut to
  // 127, both when stored and when looked up. Operations on a name that is
  // not found, or without a region manager, do nothing.

  // Adds a zone with the default sensitivity and threshold. Returns its id
  // (the region's slot, reused lowest first) or -1. Does not check for
  // duplicate names.
  std::int32_t addZone(std::string_view name, std::int32_t x, std::int32_t y,
                       std::int32_t width, std::int32_t height);
  // First record of that name over the whole table, or -1.
  std::int32_t findZone(std::string_view name) const;
  // Whether one of the first zoneCount() records has that name.
  bool zoneExists(std::string_view name) const;
  // The name of record `zoneId`; empty for an id outside the table. Valid
  // until the next change of the zone table.
  std::string_view zoneName(std::int32_t zoneId) const;
  // Slots of the current region manager, free ones included; 0 without one.
  std::int32_t zoneCount() const;

  // Removes the region; the record stays with status Deleted.
  void deleteZone(std::string_view name);
  // Appends "-Deleted" so that the name is free for a new zone.
  void markZoneDeleted(std::string_view name);
  void moveZone(std::string_view name, std::int32_t x, std::int32_t y);
  void resizeZone(std::string_view name, std::int32_t width, std::int32_t height);
  void moveSizeZone(std::string_view name, std::int32_t x, std::int32_t y, std::int32_t width,
                    std::int32_t height);
  void setZoneSensitivity(std::string_view name, std::int32_t value);
  void setZoneThreshold(std::string_view name, std::int32_t value);
  void setZoneActive(std::string_view name, bool active);
  void setZoneActiveAt(std::int32_t zoneId, bool active);
  bool zoneActive(std::int32_t zoneId) const;
  // Changed share of the zone's area in percent, 0 unless it was hit.
  std::int32_t zoneMotionAmount(std::int32_t zoneId) const;

  // A non-zero pause deactivates the zone until tickPauseTimers has counted
  // `milliseconds` down; 0 reactivates it at once.
  void pauseZone(std::string_view name, std::uint32_t milliseconds);
  // Once per frame tick: advances every pause by the time since the last call.
  void tickPauseTimers();

  // False, with `out` reset to an all-zero record, when the name is not found.
  bool copyZoneRecord(std::string_view name, ZoneRecord& out) const;

  // Every zone that has a region, in id order, for the setup page: its record
  // and where its region lies in frame pixels, in the zones' own orientation.
  struct ZoneView {
    std::int32_t id = -1;
    ZoneRecord record;
    std::int32_t frameX = 0;
    std::int32_t frameY = 0;
    std::int32_t frameWidth = 0;
    std::int32_t frameHeight = 0;
    bool active = false;
    std::int32_t motionAmount = 0;
  };
  std::vector<ZoneView> zoneViews() const;
  // Description texts. Each lives in a 256-byte buffer of its own operation,
  // NUL-terminated, valid until the next call of that operation.
  // "%s - (%d,%d)-(%d,%d)": status word, then x, y, width, height in frame
  // pixels. No text for a name that is not found.
  std::optional<std::string_view> zoneStatusText(std::string_view name);
  // "%s, %s, %d, %d, %d, %d, %d, %d": name, status word, x, y, width, height,
  // threshold, sensitivity as stored; "illegal zone ID" when not found.
  std::string_view zoneSummaryText(std::string_view name);
  // The same eight values as XML attributes; only the first zoneCount()
  // records are searched. A long name with extreme numbers is cut at 255
  // bytes rather than written past the buffer.
  std::string_view zoneAttributesText(std::string_view name);

  // Removes every region, zone and grid. Defaults and scale stay.
  void clearAllZones();

  // --- Grids -------------------------------------------------------------
  // Creates columns x rows cell zones named "<grid>_<k>" in row-major order.
  // Returns true when the width or height was cut to a whole number of cells.
  // Columns or rows below 1 create nothing and return false.
  bool createGrid(std::string_view name, std::int32_t x, std::int32_t y, std::int32_t width,
                  std::int32_t height, std::int32_t columns, std::int32_t rows);
  std::int32_t findGrid(std::string_view name) const;
  bool gridExists(std::string_view name) const;
  std::int32_t gridCount() const;
  // The grid's status word; no text for a name that is not a grid.
  std::optional<std::string_view> gridStatusText(std::string_view name) const;
  void markGridDeleted(std::string_view name);
  // Deletes every cell zone still found under its name, then the grid.
  void deleteGrid(std::string_view name);
  // False, with `out` reset to an empty record, when the name is not a grid.
  bool copyGridRecord(std::string_view name, GridRecord& out) const;
  void setGridRect(std::string_view name, std::int32_t x, std::int32_t y, std::int32_t width,
                   std::int32_t height);

  // The grid "move" method: moves every cell by the grid's offset, then
  // stores the new position with the old size.
  void moveGrid(std::string_view name, std::int32_t x, std::int32_t y);
  // The grid "resize" method: lays the cells out again over width x height
  // (whole cells, the rest uncovered), then stores the size as given.
  void resizeGrid(std::string_view name, std::int32_t width, std::int32_t height);

 private:
  struct ZoneSlot {
    ZoneRecord record;
    // Set while the slot's region belongs to this record: hits of a region
    // whose record is not (yet) written, or already deleted, are dropped.
    bool reportsHits = false;
  };

  // A rectangle in whichever unit its user says.
  struct Rect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
  };

  // Where a camera's passes build their hit batch (that camera's channel
  // thread only; kept between passes so none allocates).
  struct HitScratch {
    std::vector<ZoneName> names;
    std::vector<ZoneHit> hits;
  };

  // A channel's pass (its thread): the hits to the sinks, then the picture
  // to the display.
  void handlePass(std::int32_t camera, const DetectionPass& pass);

  bool hasCamera() const { return currentRegionManager() != nullptr; }
  Rect clampToClient(Rect requested) const;
  Rect toFramePixels(Rect client) const;
  // Clamps, converts and hands the rectangle to the region of `zoneId`.
  void placeRegion(std::int32_t zoneId, Rect requested);
  // Index of the first of `limit` records named `name`, or -1.
  std::int32_t findZoneIn(std::string_view name, std::size_t limit) const;
  std::size_t zoneSearchLimit() const;

  // What the cameras' passes reach outlives the cameras: declared first,
  // destroyed last.
  ZoneEventFanOut eventSinks_;
  ZoneHitNames hitNames_;
  SharedPicture picture_;
  std::array<HitScratch, CameraBank::kMaxCameras> scratch_{};
  CameraBank cameras_;

  float scaleX_ = 1.0f;
  float scaleY_ = 1.0f;
  std::int32_t sensitivityDefault_ = kInitialSensitivityDefault;
  std::int32_t thresholdDefault_ = kInitialThresholdDefault;

  // The zone table, indexed by zone id; main thread only. Each change of a
  // name or of whether a zone reports hits is copied to hitNames_, which
  // the passes read.
  std::vector<ZoneSlot> zones_;

  // The grid table in creation order; main thread only.
  std::vector<GridRecord> grids_;

  MillisecondClock* clock_;
  std::optional<std::uint32_t> lastPauseTick_;  // empty until the first tick

  FixedText<kDescriptionCapacity> statusText_;
  FixedText<kDescriptionCapacity> summaryText_;
  FixedText<kDescriptionCapacity> attributesText_;
};

}  // namespace tessary
