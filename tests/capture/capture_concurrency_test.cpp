#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "capture/camera_registry.h"
#include "capture/fake_capture_backend.h"
#include "common/frame.h"

namespace tessary {
namespace {

// The channel's own reconfiguring while frames flow (start, stop, the
// toggles, the camera's choice, shut-down while running) is checked under
// every thread the program runs, through the controller, in
// tests/zones/controller_concurrency_test.cpp.

// Sample n carries n in its first four bytes and n's low byte everywhere else.
void fillSample(std::uint8_t* frame, std::uint32_t n) {
  std::memcpy(frame, &n, sizeof(n));
  std::memset(frame + sizeof(n), static_cast<int>(n & 0xFF), kFrameBytes - sizeof(n));
}

// The sample number a frame carries, or -1 when the frame mixes two samples.
std::int64_t sampleNumber(const std::uint8_t* frame) {
  std::uint32_t n = 0;
  std::memcpy(&n, frame, sizeof(n));
  for (std::size_t i = sizeof(n); i < kFrameBytes; ++i) {
    if (frame[i] != (n & 0xFF)) return -1;
  }
  return n;
}

TEST(CameraConcurrencyTest, ReaderSeesWholeFramesInOrderWhileSamplesArrive) {
  auto backend = std::make_unique<fakes::FakeCaptureBackend>();
  backend->devices.push_back({"Cam", {fakes::capability(PixelFormat::kRgb32, 160, 120)}});
  fakes::FakeCaptureBackend& fake = *backend;
  CameraRegistry registry(std::move(backend));
  ASSERT_TRUE(registry.open({160, 120, 15, "Cam"}));
  Camera& camera = *registry.find("Cam");
  fakes::FakeCaptureSession& session = *fake.lastSession();
  std::array<std::uint8_t, kFrameBytes + 4> sample{};
  const std::uint8_t* frame = nullptr;

  // Samples before start, of another size, or missing are dropped.
  fillSample(sample.data(), 7);
  session.deliver(sample.data(), kFrameBytes);
  ASSERT_TRUE(camera.start());
  for (std::size_t size : {sample.size(), std::size_t{16}}) session.deliver(sample.data(), size);
  session.deliver(nullptr, kFrameBytes);
  EXPECT_FALSE(camera.getFrame(frame));

  constexpr int kSamples = 3000;
  std::atomic<bool> writing{true};
  std::thread streaming([&] {
    for (std::uint32_t n = 1; n <= kSamples; ++n) {
      fillSample(sample.data(), n);
      session.deliver(sample.data(), kFrameBytes);
    }
    writing = false;
  });
  int reads = 0, torn = 0, backwards = 0;
  std::int64_t last = 0;
  while (writing || reads == 0) {
    if (!camera.getFrame(frame)) continue;
    ++reads;
    const std::int64_t n = sampleNumber(frame);  // delivery runs on meanwhile
    torn += n < 0;
    backwards += n >= 0 && n < last;
    if (n >= 0) last = n;
  }
  streaming.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(backwards, 0);

  // Stopped: new samples are dropped and the last frame stays.
  camera.stop();
  fillSample(sample.data(), 1);
  session.deliver(sample.data(), kFrameBytes);
  ASSERT_TRUE(camera.getFrame(frame));
  EXPECT_EQ(sampleNumber(frame), kSamples);
}

}  // namespace
}  // namespace tessary
