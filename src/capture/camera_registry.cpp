#include "capture/camera_registry.h"

#include <algorithm>
#include <utility>

namespace tessary {

CameraRegistry::CameraRegistry(std::unique_ptr<CaptureBackend> backend)
    : backend_(std::move(backend)) {}

// Cameras go before the backend that their sessions came from.
CameraRegistry::~CameraRegistry() { entries_.clear(); }

std::int32_t CameraRegistry::scanCameras(std::int32_t width, std::int32_t height) {
  Camera probe(*backend_);
  probe.setupGraph();
  probe.enumerateDevices();
  std::int32_t count = probe.deviceCount();
  if (count == 0) return static_cast<std::int32_t>(names_.size());

  names_.clear();
  for (std::int32_t device = 0; device < count; ++device) {
    if (!probe.selectDevice(device)) continue;
    std::string name = probe.getDeviceName(device);
    probe.enumerateFormats();
    for (std::int32_t row = 0; row < probe.formatCount(); ++row) {
      for (const FrameSize& size : probe.getFormat(row).sizes) {
        bool offered = size.width == width && size.height == height;
        if (offered && std::find(names_.begin(), names_.end(), name) == names_.end()) {
          names_.push_back(name);
        }
      }
    }
  }
  return static_cast<std::int32_t>(names_.size());
}

const char* CameraRegistry::cameraName(std::int32_t index, bool& ok) const {
  ok = false;
  if (names_.empty()) return "No Devices Present";
  if (index < 0 || index >= static_cast<std::int32_t>(names_.size())) return "Invalid Index";
  ok = true;
  return names_[static_cast<std::size_t>(index)].c_str();
}

bool CameraRegistry::open(const OpenRequest& request) {
  if (find(request.name) != nullptr) return true;
  // The entry is filled before it joins the list, so a failure leaves the
  // list untouched.
  CameraEntry entry;
  if (!openEntry(entry, request)) return false;
  entries_.push_back(std::move(entry));
  return true;
}

bool CameraRegistry::openEntry(CameraEntry& entry, const OpenRequest& request) {
  entry.owned = std::make_unique<Camera>(*backend_);
  Camera& camera = *entry.owned;
  std::string report;

  if (!camera.setupGraph()) {
    entry.owned.reset();
    return false;
  }
  camera.enumerateDevices();
  if (camera.deviceCount() == 0) {
    entry.owned.reset();
    openReport_ = "No Supportable Cameras Found!\n";
    return false;
  }

  std::int32_t device = -1;
  for (std::int32_t i = 0; i < camera.deviceCount(); ++i) {
    if (request.name == camera.getDeviceName(i)) {
      device = i;
      break;
    }
  }
  if (device < 0) {
    report.append(request.name).append(" not found on system.");
    entry.owned.reset();
    openReport_ = std::move(report);
    return false;
  }

  camera.selectDevice(device);
  camera.enumerateFormats();

  // The last row that offers the size wins; within a row, its first size.
  std::int32_t chosenRow = -1;
  std::int32_t chosenSize = -1;
  for (std::int32_t row = camera.formatCount() - 1; row >= 0 && chosenRow < 0; --row) {
    const FormatEntry format = camera.getFormat(row);
    for (std::size_t size = 0; size < format.sizes.size(); ++size) {
      if (format.sizes[size] == FrameSize{request.width, request.height}) {
        chosenRow = row;
        chosenSize = static_cast<std::int32_t>(size);
        break;
      }
    }
  }
  if (chosenRow < 0) {
    report.append("Unable to connect to ").append(request.name).append(" correctly.\n");
    entry.owned.reset();
    report += "Total And Utter Complete Failure in Camera Initialisation!\n";
    openReport_ = std::move(report);
    return false;
  }

  camera.selectFormat(chosenRow, chosenSize);
  bool ok = false;
  report += "* Camera Report: \n";
  report += camera.init(ok);
  report += "* End Report.\n";
  openReport_ = std::move(report);
  if (!ok) {
    entry.owned.reset();
    return false;
  }
  camera.setFrameRate(request.frameRate);
  entry.active = &camera;
  return true;
}

Camera* CameraRegistry::find(std::string_view name) {
  for (CameraEntry& entry : entries_) {
    if (entry.active != nullptr && name == entry.active->getName()) return entry.active;
  }
  return nullptr;
}

}  // namespace tessary
