// The capture platform as the camera sees it.
//
// A `CaptureBackend` is one way of reaching capture devices (real cameras,
// the built-in demo camera, a file of raw pictures). It lists devices by
// friendly name and makes `CaptureSession`s; a session binds one device,
// lists its capabilities, applies a format and a frame rate, and streams.
// Every session delivers samples the same way, so a camera cannot tell the
// backends apart: 32-bit pixels in memory order blue, green, red, unused,
// rows top to bottom (upright, as the camera sees, whatever order the device
// keeps them in), handed to the session's sample sink on the session's own
// streaming thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// The pixel formats a camera takes into its format table. A backend reports
// every other native format as kUnsupported, and the camera ignores it.
enum class PixelFormat : std::uint8_t {
  kUnsupported,
  kRgb8,
  kRgb555,
  kRgb565,
  kRgb24,  // blue, green, red
  kRgb32,  // blue, green, red, unused
  kY411,
  kUyvy,
};

// One format and size a device can deliver. `height` is negative where the
// device keeps its rows top-down, positive where bottom-up (the session
// turns them upright either way); `nativeCode` is the backend's own
// identifier of the format and means nothing to the camera.
struct CaptureCapability {
  PixelFormat format = PixelFormat::kUnsupported;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint32_t nativeCode = 0;
};

// One captured picture, valid only during the sample callback's call.
struct MediaSample {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;  // the whole buffer: width x height x 4
  std::int64_t time = 0;  // capture time in 100-nanosecond units, 0 if unknown
};

// Where a session hands its samples: the camera. Called on the session's
// streaming thread, once per sample, between start() and stop().
class SampleSink {
 public:
  virtual void onSample(const MediaSample& sample) = 0;

 protected:
  ~SampleSink() = default;
};

// 10,000,000 / fps in 100-nanosecond units: 15 fps gives 666,666.
constexpr std::int64_t frameIntervalFor(std::int32_t fps) {
  return fps > 0 ? std::int64_t{10'000'000} / fps : std::int64_t{10'000'000};
}

enum class DeviceListResult : std::uint8_t {
  kListed,         // the device list could be read (it may be empty)
  kNoEnumerator,   // the platform's device list is not reachable at all
  kListFailed,     // the list exists but reading it failed
};

enum class BindResult : std::uint8_t {
  kBound,
  kBoundWithoutFormats,  // bound, but the device offers no format control
  kNotFound,             // no device carries the name
  kOpenFailed,           // the device carries the name but could not be opened
  kNotAdded,             // opened, but the capture chain would not take it
  kNoEnumerator,
  kListFailed,
  kNoDevices,            // the device list is empty
};

enum class ConnectResult : std::uint8_t {
  kConnected,
  kFormatRefused,  // RGB32 cannot be produced from the applied format
  kFailed,         // anything else; see lastError()
};

// One camera's link to one device. Set-up calls come from one thread at a
// time; the sample sink is called on the session's streaming thread between
// start() and stop().
class CaptureSession {
 public:
  virtual ~CaptureSession() = default;

  // Binds the device with this friendly name; when several carry it, the one
  // listed last. Replaces any device bound before.
  virtual BindResult bindDevice(std::string_view name) = 0;
  virtual void unbindDevice() = 0;
  // The bound device's capabilities in the device's own order; false when
  // they cannot be read (no device bound, or the device refuses).
  virtual bool listCapabilities(std::vector<CaptureCapability>& capabilities) = 0;
  // Applies a capability and a frame rate; false when the device refuses.
  // Only while not streaming.
  virtual bool setFormat(const CaptureCapability& capability, std::int32_t fps) = 0;
  // Readies delivery of RGB32 frames from the applied format.
  virtual ConnectResult connect() = 0;
  // Where every sample goes (null: nowhere); it must outlive the session or
  // be replaced first. Only while not streaming.
  virtual void setSampleSink(SampleSink* sink) = 0;
  // Starts streaming (true when already streaming); stop() returns once the
  // streaming thread will call the sink no more.
  virtual bool start() = 0;
  virtual void stop() = 0;
  // Text describing the last failure, for report lines.
  virtual std::string lastError() const = 0;
  // After connect(): one line on the mode the device was opened at when it
  // is not the frame's (it is then scaled into the frame); empty otherwise.
  virtual std::string modeText() const { return {}; }
};

class CaptureBackend {
 public:
  virtual ~CaptureBackend() = default;

  // Short name for traces: "v4l2", "demo", "raw".
  virtual const char* kind() const = 0;
  // Friendly names of the devices that can capture, in the platform's order,
  // duplicates kept.
  virtual DeviceListResult listDevices(std::vector<std::string>& names) = 0;
  // A new session with no device bound; null when the backend cannot make one.
  virtual std::unique_ptr<CaptureSession> createSession() = 0;
  // Report lines, each ended by a line break, about the last createSession():
  // why it made no session, or steps that failed without stopping it. Empty
  // when there is nothing to say.
  virtual std::string sessionReport() const { return {}; }
  // True while the named device is lost: it failed, ended or stalled and is
  // being tried again. Callable from any thread.
  virtual bool deviceAbsent(std::string_view /*name*/) const { return false; }
};

}  // namespace tessary
