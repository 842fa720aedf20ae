#include "capture/capture_backend_choice.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "capture/camera_registry.h"
#include "capture/demo_capture_backend.h"
#include "capture/raw_capture_backend.h"
#include "common/frame.h"

namespace tessary {
namespace {

constexpr std::string_view kRawPrefix = "raw:";

// Empty when frames can be read from `path`, else why not. A named pipe is
// not opened here: that would wait for its writer.
std::string rawFileProblem(const std::string& path) {
  std::error_code ignored;
  if (std::filesystem::is_fifo(path, ignored)) return {};
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    const int code = errno;
    return "cannot open the raw frames file " + path + ": " + std::strerror(code);
  }
  std::fclose(file);
  return {};
}

}  // namespace

std::unique_ptr<CaptureBackend> chooseCaptureBackend(std::string_view source,
                                                     std::string_view platformName,
                                                     PlatformBackendMaker makePlatform,
                                                     std::string& error,
                                                     std::string* choice) {
  error.clear();
  auto chose = [choice](std::string text) {
    if (choice != nullptr) *choice = std::move(text);
  };
  if (source == "demo") return makeDemoCaptureBackend();
  if (source.starts_with(kRawPrefix)) {
    std::string_view path = source.substr(kRawPrefix.size());
    if (path.empty()) {
      error = "raw: needs a file path, as in raw:/tmp/frames.raw";
      return nullptr;
    }
    error = rawFileProblem(std::string(path));
    if (!error.empty()) return nullptr;
    return makeRawCaptureBackend(std::string(path));
  }
  if (source == platformName || source == "auto") {
    std::unique_ptr<CaptureBackend> platform = makePlatform ? makePlatform() : nullptr;
    if (source == platformName) {
      if (!platform) error = std::string(platformName) + " capture is not available";
      return platform;
    }
    const std::string platformText(platformName);
    const std::string demoText = "; using the demo camera, whose motion is made up";
    if (!platform) {
      chose("camera auto: " + platformText + " capture is not available" + demoText);
      return makeDemoCaptureBackend();
    }
    // Probe with a registry of its own, so that the backend goes on to its
    // real owner untouched.
    CameraRegistry probe(std::move(platform));
    if (probe.scanCameras(kFrameWidth, kFrameHeight) > 0) {
      bool ok = false;
      const char* name = probe.cameraName(0, ok);
      chose("camera auto: using the " + platformText + " camera '" + std::string(ok ? name : "") +
            "', which offers 160 x 120");
      return makePlatform();
    }
    chose("camera auto: no " + platformText + " camera offers 160 x 120" + demoText);
    return makeDemoCaptureBackend();
  }
  error = "unknown camera source \"" + std::string(source) + "\": use " +
          std::string(platformName) + ", demo, raw:PATH or auto";
  return nullptr;
}

}  // namespace tessary
