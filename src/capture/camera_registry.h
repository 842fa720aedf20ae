// The cameras of the process: which devices offer the capture size, their
// names by index, one opened Camera per device name, and lookup by name.
//
//   CameraRegistry registry(makeDemoCaptureBackend());
//   int count = registry.scanCameras(160, 120);
//   bool ok;
//   const char* name = registry.cameraName(0, ok);
//   if (ok && registry.open({160, 120, 15, name})) Camera* camera = registry.find(name);
//
// Used from one thread (the video controller's start-up).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/camera.h"
#include "capture/capture_backend.h"

namespace tessary {

struct OpenRequest {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t frameRate = 0;  // set right after opening
  std::string_view name;       // the device's friendly name
};

class CameraRegistry {
 public:
  explicit CameraRegistry(std::unique_ptr<CaptureBackend> backend);
  CameraRegistry(const CameraRegistry&) = delete;
  CameraRegistry& operator=(const CameraRegistry&) = delete;
  ~CameraRegistry();

  // Rebuilds the names of the devices that offer exactly this size (when any
  // device is found at all) and returns how many there are.
  std::int32_t scanCameras(std::int32_t width, std::int32_t height);
  // "No Devices Present" or "Invalid Index" with ok = false, else the name.
  const char* cameraName(std::int32_t index, bool& ok) const;
  // True when a camera for the name is usable afterwards. A failed open
  // leaves the registry as it was.
  bool open(const OpenRequest& request);
  // The opened camera with exactly this name, or null.
  Camera* find(std::string_view name);

  // The report of the last open that got past its first step, for the
  // owner to trace; nothing else keeps or shows it.
  const std::string& openReport() const { return openReport_; }
  CaptureBackend& backend() { return *backend_; }

 private:
  struct CameraEntry {
    std::unique_ptr<Camera> owned;
    Camera* active = nullptr;
  };

  bool openEntry(CameraEntry& entry, const OpenRequest& request);

  std::unique_ptr<CaptureBackend> backend_;
  std::vector<std::string> names_;
  std::vector<CameraEntry> entries_;
  std::string openReport_;
};

}  // namespace tessary
