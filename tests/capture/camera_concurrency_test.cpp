// Frames read on one thread while samples arrive on another: the reader must
// only ever see whole frames, never older than one it already saw.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <thread>

#include "capture/camera_registry.h"
#include "capture/fake_capture_backend.h"
#include "common/frame.h"

namespace tessary {
namespace {

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
  ASSERT_TRUE(camera.start());
  fakes::FakeCaptureSession& session = *fake.lastSession();

  constexpr int kSamples = 3000;
  std::atomic<bool> writing{true};
  std::thread streaming([&] {
    std::array<std::uint8_t, kFrameBytes> sample{};
    for (std::uint32_t n = 1; n <= kSamples; ++n) {
      fillSample(sample.data(), n);
      session.deliver(sample.data(), sample.size());
    }
    writing = false;
  });

  int reads = 0, torn = 0, backwards = 0;
  std::int64_t last = 0;
  while (writing || reads == 0) {
    const std::uint8_t* frame = nullptr;
    if (!camera.getFrame(frame)) continue;
    ++reads;
    std::int64_t n = sampleNumber(frame);  // delivery runs on meanwhile
    if (n < 0) {
      ++torn;
      continue;
    }
    if (n < last) ++backwards;
    last = n;
  }
  streaming.join();
  camera.stop();
  EXPECT_GT(reads, 0);
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(backwards, 0);
  const std::uint8_t* frame = nullptr;
  ASSERT_TRUE(camera.getFrame(frame));
  EXPECT_EQ(sampleNumber(frame), kSamples);
}

}  // namespace
}  // namespace tessary
