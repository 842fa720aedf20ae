// One capture device reached through a capture backend: binding by name, the
// format table, the capture chain, start and stop, the frame rate, and the
// hand-over of every frame to its consumer as it arrives.
//
// The camera has no lock: set-up, start() and stop() come from one thread at a
// time (the owner serialises start and stop across threads). The backend's
// streaming thread calls only onSample(), which hands the frame straight to
// the consumer; the camera keeps no copy. Steps that fail leave lines in
// report(), never more.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/camera_device.h"
#include "capture/capture_backend.h"

namespace tessary {

class Camera final : public CaptureDevice {
 public:
  static constexpr std::int32_t kMaxFrameRate = 25;
  static constexpr std::int32_t kMinFrameRate = 1;

  explicit Camera(CaptureBackend& backend);
  Camera(const Camera&) = delete;
  Camera& operator=(const Camera&) = delete;
  ~Camera();

  // FrameSource
  const char* getName() override;
  std::int32_t getMaxFrameRate() override;
  bool getSize(std::int32_t& width, std::int32_t& height) override;
  std::int32_t getOrientation() override;
  void setFrameConsumer(FrameConsumer* consumer) override;
  bool start() override;
  bool stop() override;  // always false, as callers expect

  // CaptureDevice
  bool setupGraph() override;
  std::string init(bool& ok) override;
  void selectFormat(std::int32_t row, std::int32_t size) override;
  std::int32_t formatCount() override;
  FormatEntry getFormat(std::int32_t row) override;
  void enumerateFormats() override;
  std::int32_t deviceCount() override;
  bool selectDevice(std::int32_t index) override;
  const char* getDeviceName(std::int32_t index) override;
  void enumerateDevices() override;
  std::int32_t getFrameRate() override;
  bool setFrameRate(std::int32_t fps) override;

  // The sample handler, reached through the grabber callback object on the
  // backend's streaming thread.
  void onSample(const MediaSample* sample);

  // The diagnostic report; read it while no set-up call is running.
  const std::string& report() const { return report_; }
  bool isRunning() const { return running_.load(std::memory_order_relaxed); }

 private:
  void releaseGraph();
  bool applyFormat();
  void stopStreaming();
  void appendLine(std::string_view text);
  void appendErrorLine();
  bool selectionValid() const;

  CaptureBackend& backend_;
  std::unique_ptr<CaptureSession> session_;  // the capture chain; null when torn down
  SampleGrabberCallbackRef grabberCallback_;  // routes the session's samples to onSample
  bool deviceBound_ = false;
  bool formatControl_ = false;  // the bound device's formats can be read and set
  std::atomic<bool> running_{false};
  bool initialised_ = false;
  std::int32_t frameRate_ = 10;
  std::string deviceName_;
  std::vector<std::string> deviceNames_;
  std::string lineEnd_ = "\n";
  std::string report_;
  std::size_t frameBytes_ = 0;  // what a sample of the applied format holds
  std::atomic<FrameConsumer*> consumer_{nullptr};
  std::atomic<bool> delivering_{false};  // set while onSample hands a frame on
  std::int32_t width_ = 320;
  std::int32_t height_ = 240;
  std::atomic<bool> accepting_{false};  // samples are taken between start and stop
  std::int32_t orientation_ = 2;
  std::vector<FormatEntry> formats_;
  std::int32_t selectedFormat_ = -1;
  std::int32_t selectedSize_ = -1;
};

}  // namespace tessary
