// The VideoController's camera side: start-up over the camera bank, the
// camera choice, and each pass's hits and picture.
#include "capture/camera_registry.h"
#include "zones/video_controller.h"

namespace tessary {

VideoController::~VideoController() { shutdown(); }

bool VideoController::initialize(std::unique_ptr<CameraRegistry> registry) {
  cameras_.setPassRoute(CameraPassRoute::bind(this, &VideoController::handlePass));
  // Zones are mirrored against the camera, so that a person facing it moves
  // as in a mirror; the picture is drawn the same way, so they line up.
  constexpr Orientation kMirrorView{.mirrored = true, .flipped = false};
  const bool ready = cameras_.initialize(std::move(registry), kMirrorView);
  if (cameras_.cameraCount() > 0) {
    scaleX_ = 1.0f;
    scaleY_ = 1.0f;
    picture_.setOrientation(kMirrorView);
  }
  return ready;
}

void VideoController::selectCamera(std::int32_t index) {
  if (index < 0 || index >= cameras_.cameraCount()) return;
  clearAllZones();
  cameras_.selectCamera(index);
}

void VideoController::handlePass(std::int32_t camera, const DetectionPass& pass) {
  if (!pass.firedRegions.empty()) {
    HitScratch& scratch = scratch_[static_cast<std::size_t>(camera)];
    hitNames_.collect(pass.firedRegions, scratch.names, scratch.hits);
    if (!scratch.hits.empty()) {
      eventSinks_.deliver(ZoneEventBatch{scratch.hits, pass.stamp.arrivalNs});
    }
  }
  picture_.publish(pass.picture);
}

}  // namespace tessary
