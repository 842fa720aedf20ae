#include "capture/capture_backend_choice.h"

#include "capture/camera_registry.h"
#include "capture/demo_capture_backend.h"
#include "capture/raw_capture_backend.h"
#include "common/frame.h"

namespace tessary {
namespace {

constexpr std::string_view kRawPrefix = "raw:";

}  // namespace

std::unique_ptr<CaptureBackend> chooseCaptureBackend(std::string_view source,
                                                     std::string_view platformName,
                                                     PlatformBackendMaker makePlatform,
                                                     std::string& error) {
  error.clear();
  if (source == "demo") return makeDemoCaptureBackend();
  if (source.starts_with(kRawPrefix)) {
    std::string_view path = source.substr(kRawPrefix.size());
    if (path.empty()) {
      error = "raw: needs a file path, as in raw:/tmp/frames.raw";
      return nullptr;
    }
    return makeRawCaptureBackend(std::string(path));
  }
  if (source == platformName || source == "auto") {
    std::unique_ptr<CaptureBackend> platform = makePlatform ? makePlatform() : nullptr;
    if (source == platformName) {
      if (!platform) error = std::string(platformName) + " capture is not available";
      return platform;
    }
    if (platform) {
      // Probe with a registry of its own, so that the backend goes on to its
      // real owner untouched.
      CameraRegistry probe(std::move(platform));
      if (probe.scanCameras(kFrameWidth, kFrameHeight) > 0) return makePlatform();
    }
    return makeDemoCaptureBackend();
  }
  error = "unknown camera source \"" + std::string(source) + "\": use " +
          std::string(platformName) + ", demo, raw:PATH or auto";
  return nullptr;
}

}  // namespace tessary
