// The camera's set-up interface: devices, formats, the capture chain and the
// frame rate, on top of the frame operations of FrameSource.
#pragma once

#include <cstdint>
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

class CaptureDevice : public FrameSource {
 public:
  virtual bool setupGraph() = 0;
  // Connects the capture chain; writes whether it worked and returns a copy
  // of the camera's report.
  virtual std::string init(bool& ok) = 0;
  virtual void selectFormat(std::int32_t row, std::int32_t size) = 0;
  virtual std::int32_t formatCount() = 0;
  virtual FormatEntry getFormat(std::int32_t row) = 0;
  virtual void enumerateFormats() = 0;
  virtual std::int32_t deviceCount() = 0;
  virtual bool selectDevice(std::int32_t index) = 0;
  virtual const char* getDeviceName(std::int32_t index) = 0;
  virtual void enumerateDevices() = 0;
  virtual std::int32_t getFrameRate() = 0;
  virtual bool setFrameRate(std::int32_t fps) = 0;

 protected:
  ~CaptureDevice() = default;
};

}  // namespace tessary
