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

#include "capture/capture_backend.h"
#include "common/frame_source.h"

namespace tessary {

// A frame size as the device states it; a negative height is a top-down format.
struct FrameSize {
  std::int32_t width = 0;
  std::int32_t height = 0;

  friend bool operator==(const FrameSize&, const FrameSize&) = default;
};

// One row of a camera's format table: a pixel format and every size that a
// capability of that format offers, in capability order, duplicates kept.
struct FormatEntry {
  PixelFormat subtype = PixelFormat::kUnsupported;
  std::vector<FrameSize> sizes;
};

// Opening a camera takes these steps, in order: setupGraph, enumerateDevices,
// selectDevice, enumerateFormats, selectFormat, setFrameRate, init. The
// camera registry runs them.
class Camera final : public FrameSource, public SampleSink {
 public:
  static constexpr std::int32_t kMaxFrameRate = 25;
  static constexpr std::int32_t kMinFrameRate = 1;

  explicit Camera(CaptureBackend& backend);
  Camera(const Camera&) = delete;
  Camera& operator=(const Camera&) = delete;
  ~Camera();

  // FrameSource
  bool getSize(std::int32_t& width, std::int32_t& height) override;
  void setFrameConsumer(FrameConsumer* consumer) override;

  // The selected device's friendly name; never null.
  const char* getName() const { return deviceName_.c_str(); }
  bool start();
  void stop();

  // Set-up, in the order above.
  bool setupGraph();
  void enumerateDevices();
  std::int32_t deviceCount() const;
  const char* getDeviceName(std::int32_t index) const;
  bool selectDevice(std::int32_t index);
  void enumerateFormats();
  std::int32_t formatCount() const;
  FormatEntry getFormat(std::int32_t row) const;
  void selectFormat(std::int32_t row, std::int32_t size);
  std::int32_t getFrameRate() const { return frameRate_; }
  bool setFrameRate(std::int32_t fps);
  // Connects the capture chain; writes whether it worked and returns a copy
  // of the camera's report.
  std::string init(bool& ok);

  // SampleSink: the backend's streaming thread, once per sample.
  void onSample(const MediaSample& sample) override;

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
  std::vector<FormatEntry> formats_;
  std::int32_t selectedFormat_ = -1;
  std::int32_t selectedSize_ = -1;
};

}  // namespace tessary
