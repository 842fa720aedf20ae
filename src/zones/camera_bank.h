// The cameras and their capture channels: start-up, capture on and off, the
// camera in use, and shut-down.
//
//   CameraBank cameras;
//   cameras.setPassRoute(CameraPassRoute::bind(&zones, &Zones::onPass));
//   cameras.initialize(std::make_unique<CameraRegistry>(makeDemoCaptureBackend()));
//   cameras.startCapture();
//
// Threads: set-up and the camera choice run on the main thread; startCapture
// and stopCapture also run on the link's accept thread. Those, selectCamera
// and shutdown take turns (the capture turn), and none holds a lock while a
// camera or channel starts or stops: a channel's stop waits for its pass,
// which runs the pass route.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_channel.h"
#include "common/member_callback.h"
#include "common/thread_annotations.h"

namespace tessary {

class Camera;
class CameraRegistry;
class RegionManager;

// Where each camera's passes go: the camera's index and the pass, on that
// camera's channel thread.
using CameraPassRoute = MemberCallback<std::int32_t, const DetectionPass&>;

class CameraBank {
 public:
  // Devices the registry lists beyond the fourth are skipped: the tray menu
  // can offer only four cameras.
  static constexpr std::int32_t kMaxCameras = 4;
  // Frames processed per second at most (faster cameras are thinned), and
  // the rate asked of every camera.
  static constexpr std::int32_t kProcessingRate = kChannelProcessingRate;

  CameraBank() = default;
  // Shuts down first.
  ~CameraBank();
  CameraBank(const CameraBank&) = delete;
  CameraBank& operator=(const CameraBank&) = delete;

  // Before initialize: where passes go.
  void setPassRoute(CameraPassRoute route) { passRoute_ = route; }
  // Start-up, once: takes the registry (whose backend the program chose),
  // finds the cameras offering 160 x 120 and opens each at 15 frames per
  // second with a capture channel whose zones are turned `zoneOrientation`
  // against the camera. Returns false on the first failure, keeping the
  // cameras set up so far (or at once when there is no camera, no registry,
  // or start-up already ran).
  bool initialize(std::unique_ptr<CameraRegistry> registry, Orientation zoneOrientation);

  // Start or stop the camera in use and its channel; each does nothing when
  // capture is already in that state. Never call them from a pass: stopping
  // waits for the pass in progress.
  void startCapture();
  void stopCapture();
  // Moves capture to camera `index` (0 .. cameraCount() - 1; any other index
  // does nothing).
  void selectCamera(std::int32_t index);
  std::int32_t currentCameraIndex() const { return currentCamera_.load(); }
  std::int32_t cameraCount() const { return cameraCount_; }
  // The camera's friendly name; null for an index outside the names kept.
  const char* cameraName(std::int32_t index) const;
  // Whether capture of the camera in use is started.
  bool capturing() const;

  // The region manager of the camera in use; null without one. Without
  // initialize, a manager's owner may install one (null: none) and keep it
  // alive while it is installed.
  RegionManager* currentRegionManager() const;
  void setCurrentRegionManager(RegionManager* manager);

  // Stops every camera and channel and destroys the channels with their
  // region managers; capture cannot be started again. Safe to call more
  // than once.
  void shutdown();

 private:
  struct Slot {
    Camera* camera = nullptr;  // owned by the registry
    std::unique_ptr<CaptureChannel> channel;
  };
  // A channel's pass, tagged with its camera.
  struct PassTag {
    CameraBank* bank = nullptr;
    std::int32_t index = 0;
    void onPass(const DetectionPass& pass) { bank->passRoute_(index, pass); }
  };

  // Holds the capture turn for its lifetime.
  class CaptureTurn;

  bool setUpCamera(std::int32_t index, std::string_view name, Orientation zoneOrientation);
  // The caller holds the turn.
  void startCurrent();
  void stopSlot(std::size_t slot);

  CameraPassRoute passRoute_;
  // Declared before the slots: the registry owns the cameras, which the
  // channels are consumers of until they are destroyed.
  std::unique_ptr<CameraRegistry> registry_;
  std::array<Slot, kMaxCameras> slots_{};
  std::array<PassTag, kMaxCameras> tags_{};
  // Each channel's region manager, or one installed by
  // setCurrentRegionManager. Only the current camera's manager holds zones.
  std::array<RegionManager*, kMaxCameras> regionManagers_{};
  std::int32_t cameraCount_ = 0;
  std::vector<std::string> cameraNames_;
  // Written by selectCamera (main thread) while holding the turn; read by
  // the zone operations and, during startCapture, by the accept thread.
  std::atomic<std::int32_t> currentCamera_{0};
  // Which slots have capture started. Written only by the turn's holder.
  std::array<std::atomic<bool>, kMaxCameras> running_{};

  // The capture turn: the mutex guards only the busy mark, so no lock is
  // held while a camera or channel starts or stops.
  Mutex turnMutex_;
  ConditionVariable turnFree_;
  bool turnTaken_ TESSARY_GUARDED_BY(turnMutex_) = false;
};

}  // namespace tessary
