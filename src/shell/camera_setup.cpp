#include "shell/camera_setup.h"

#include "capture/camera_registry.h"
#include "capture/capture_backend.h"
#include "common/frame.h"
#include "zones/video_controller.h"

namespace tessary {
namespace {

class ControllerCameras final : public CameraSide {
 public:
  ControllerCameras(VideoController& controller, std::unique_ptr<CaptureBackend> backend)
      : controller_(controller), backend_(std::move(backend)), liveBackend_(backend_.get()) {}

  bool initialize() override {
    if (!backend_) return false;
    return controller_.initialize(std::make_unique<CameraRegistry>(std::move(backend_)));
  }
  void startCapture() override { controller_.cameras().startCapture(); }
  void stopCapture() override { controller_.cameras().stopCapture(); }
  void selectCamera(int index) override { controller_.selectCamera(index); }
  const char* cameraName(int index) override { return controller_.cameras().cameraName(index); }
  int currentCameraIndex() override { return controller_.cameras().currentCameraIndex(); }
  bool cameraAbsent(int index) override {
    const char* name = controller_.cameras().cameraName(index);
    return liveBackend_ != nullptr && name != nullptr && liveBackend_->deviceAbsent(name);
  }
  bool mirrored() override { return controller_.picture().mirrored(); }
  bool flipped() override { return controller_.picture().flipped(); }
  void shutdown() override {
    liveBackend_ = nullptr;
    controller_.shutdown();
  }
  std::span<const std::uint8_t> frameBuffer() override {
    const std::uint8_t* frame = nullptr;
    if (!controller_.picture().newest(frame) || frame == nullptr) return {};
    return {frame, kFrameBytes};
  }

 private:
  VideoController& controller_;
  std::unique_ptr<CaptureBackend> backend_;  // handed to the controller at start-up
  CaptureBackend* liveBackend_;  // the same backend, owned by the controller until shut-down
};

}  // namespace

std::unique_ptr<CameraSide> makeControllerCameras(VideoController& controller,
                                                  std::unique_ptr<CaptureBackend> backend) {
  if (!backend) return std::make_unique<NoCameras>();
  return std::make_unique<ControllerCameras>(controller, std::move(backend));
}

}  // namespace tessary
