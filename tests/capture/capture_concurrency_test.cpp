// A camera and its channel under every thread they meet at once: samples
// streaming in fast, passes on the channel's thread, and a configuring thread
// stopping, starting and changing the channel meanwhile.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "capture/camera_registry.h"
#include "capture/capture_channel.h"
#include "capture/fake_capture_backend.h"
#include "common/frame.h"
#include "detection/region_manager.h"

namespace tessary {
namespace {

using namespace std::chrono_literals;

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

// Checks every pass's picture as the controller would copy it.
struct PassCheck {
  void onPass(const DetectionPass& pass) {
    const std::int64_t n = sampleNumber(pass.picture);
    torn += n < 0;
    repeated += n >= 0 && n <= last;
    if (n >= 0) last = n;
    ++passes;
  }
  std::int64_t last = 0;  // the channel's thread only
  std::atomic<int> passes{0}, torn{0}, repeated{0};
};

TEST(ChannelConcurrencyTest, WholeFramesEachOnceWhileTheChannelIsReconfigured) {
  auto backend = std::make_unique<fakes::FakeCaptureBackend>();
  backend->devices.push_back({"Cam", {fakes::capability(PixelFormat::kRgb32, 160, 120)}});
  fakes::FakeCaptureBackend& fake = *backend;
  CameraRegistry registry(std::move(backend));
  ASSERT_TRUE(registry.open({160, 120, 15, "Cam"}));
  Camera& camera = *registry.find("Cam");
  fakes::FakeCaptureSession& session = *fake.lastSession();

  auto channel = std::make_unique<CaptureChannel>();
  ASSERT_TRUE(channel->init(camera));
  PassCheck check;
  channel->setPassCallback(ChannelPassCallback::bind(&check, &PassCheck::onPass));
  for (int at = 0; at < 48; ++at) {
    std::int32_t index = -1;
    channel->regionManager().add(index, {at % 8 * 20, at / 8 * 20, 20, 20, 50, 20});
  }
  std::array<std::uint8_t, kFrameBytes> sample{};
  // Samples before start, of another size, or missing are dropped.
  session.deliver(sample.data(), kFrameBytes);
  ASSERT_TRUE(channel->start() && camera.start());
  session.deliver(sample.data(), 16);
  session.deliver(nullptr, kFrameBytes);
  EXPECT_EQ(channel->arrivedFrames(), 0u);

  std::atomic<bool> done{false};
  std::thread streaming([&] {
    for (std::uint32_t n = 1; !done; ++n) {
      fillSample(sample.data(), n);
      session.deliver(sample.data(), kFrameBytes);
      std::this_thread::sleep_for(200us);
    }
  });
  for (int round = 0; round < 600; ++round, std::this_thread::sleep_for(1ms)) {
    switch (round % 5) {
      case 0: channel->stop(); break;
      case 1: channel->setZoneOrientation({.mirrored = round % 2 == 0, .flipped = round % 4 < 2}); break;
      case 2: channel->regionManager().setActive(round % 48, static_cast<std::uint8_t>(round % 2)); break;
      case 3: channel->setZoneOrientation({.mirrored = round % 3 == 0}); break;
      case 4: ASSERT_TRUE(channel->start()); break;
    }
  }
  const int before = check.passes;
  ASSERT_TRUE(channel->start());
  for (int wait = 0; wait < 1000 && check.passes <= before; ++wait) std::this_thread::sleep_for(5ms);
  EXPECT_GT(check.passes, before) << "left alone, the channel detects again";
  const std::uint64_t arrived = channel->arrivedFrames(), processed = channel->processedFrames();
  std::this_thread::sleep_for(300ms);
  EXPECT_GT(channel->arrivedFrames() - arrived, 3 * (channel->processedFrames() - processed))
      << "a fast camera is thinned";

  channel.reset();  // destroyed while running and while samples still arrive
  done = true;
  streaming.join();
  EXPECT_EQ(check.torn, 0);
  EXPECT_EQ(check.repeated, 0);
}

}  // namespace
}  // namespace tessary
