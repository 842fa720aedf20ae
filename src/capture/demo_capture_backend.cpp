#include "capture/demo_capture_backend.h"

#include <array>

#include "capture/capture_backend_synthetic.h"

namespace tessary {
namespace {

// Both the background and the square are fine checks whose neighbouring
// pixels differ by more than 43 in every channel, so the detectors (which
// count a changed pixel only where it stands out from a neighbour) count
// every pixel the square covers or uncovers, at any sensitivity.
constexpr int kObjectDark = 195;
constexpr int kObjectLight = 255;

void putPixel(std::uint8_t* frame, std::int32_t x, std::int32_t y, std::uint8_t blue,
              std::uint8_t green, std::uint8_t red) {
  const std::size_t offset = static_cast<std::size_t>(y) * kFrameStride +
                             static_cast<std::size_t>(x) * kFrameBytesPerPixel;
  frame[offset] = blue;
  frame[offset + 1] = green;
  frame[offset + 2] = red;
  frame[offset + 3] = 0;
}

class DemoSession final : public GeneratedCaptureSession {
 public:
  DemoSession() : GeneratedCaptureSession(kDemoCameraName) {}
  ~DemoSession() override { stop(); }

 private:
  void streamFrame() override {
    renderDemoFrame(frameNumber_, frame_);
    deliver(frame_.data(), static_cast<std::int64_t>(frameNumber_) * frameIntervalFor(fps_));
    ++frameNumber_;
  }

  std::array<std::uint8_t, kFrameBytes> frame_{};  // the streaming thread's own
  std::uint64_t frameNumber_ = 0;                  // goes on across stop and start
};

class DemoBackend final : public CaptureBackend {
 public:
  const char* kind() const override { return "demo"; }
  DeviceListResult listDevices(std::vector<std::string>& names) override {
    names.assign(1, kDemoCameraName);
    return DeviceListResult::kListed;
  }
  std::unique_ptr<CaptureSession> createSession() override {
    return std::make_unique<DemoSession>();
  }
};

}  // namespace

std::int32_t demoObjectLeft(std::uint64_t n) {
  auto phase = static_cast<std::int32_t>(n % kDemoPeriod);
  std::int32_t half = kDemoPeriod / 2;  // 4 steps: 0 to 128
  return (phase <= half ? phase : kDemoPeriod - phase) * kDemoStep;
}

void renderDemoFrame(std::uint64_t n, std::span<std::uint8_t, kFrameBytes> frame) {
  for (std::int32_t y = 0; y < kFrameHeight; ++y) {
    for (std::int32_t x = 0; x < kFrameWidth; ++x) {
      // A still, dim texture: one-pixel checks (30 against 90) with a faint
      // ripple over them, tinted a little towards red.
      auto level = static_cast<std::uint8_t>(30 + ((x + y) % 2) * 60 + (x * 3 + y * 5) % 8);
      putPixel(frame.data(), x, y, level, static_cast<std::uint8_t>(level + 4),
               static_cast<std::uint8_t>(level + 8));
    }
  }
  std::int32_t left = demoObjectLeft(n);
  for (std::int32_t y = kDemoMotionTop; y <= kDemoMotionBottom; ++y) {
    for (std::int32_t x = left; x < left + kDemoObjectSize; ++x) {
      auto level = static_cast<std::uint8_t>((x + y) % 2 != 0 ? kObjectLight : kObjectDark);
      putPixel(frame.data(), x, y, level, level, level);
    }
  }
}

std::unique_ptr<CaptureBackend> makeDemoCaptureBackend() { return std::make_unique<DemoBackend>(); }

}  // namespace tessary
