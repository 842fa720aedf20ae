// The camera half of the zone server as the shell drives it: start-up,
// capture on and off, camera choice, picture flags and shut-down.
#pragma once

#include <cstdint>
#include <span>

namespace tessary {

class CameraSide {
 public:
  // Opens the cameras; false when none could be set up (the program runs on).
  virtual bool initialize() = 0;
  // Both may run on the link's accept thread as well as the main thread.
  virtual void startCapture() = 0;
  virtual void stopCapture() = 0;
  virtual void selectCamera(int index) = 0;
  virtual const char* cameraName(int index) = 0;  // null past the last camera
  virtual int currentCameraIndex() = 0;
  // True while the camera is lost and being tried again.
  virtual bool cameraAbsent(int /*index*/) { return false; }
  // How the camera's frames are drawn to show its usual view: mirrored, as
  // a person facing it expects. The user's mirror and flip go on top.
  virtual bool mirrored() = 0;
  virtual bool flipped() = 0;
  virtual void shutdown() = 0;
  // The newest processed frame (160 x 120 BGRX); empty before the first.
  virtual std::span<const std::uint8_t> frameBuffer() = 0;
  virtual ~CameraSide() = default;
};

// A machine without cameras: every operation does nothing.
class NoCameras final : public CameraSide {
 public:
  bool initialize() override { return false; }
  void startCapture() override {}
  void stopCapture() override {}
  void selectCamera(int) override {}
  const char* cameraName(int) override { return nullptr; }
  int currentCameraIndex() override { return 0; }
  bool mirrored() override { return true; }
  bool flipped() override { return false; }
  void shutdown() override {}
  std::span<const std::uint8_t> frameBuffer() override { return {}; }
};

}  // namespace tessary
