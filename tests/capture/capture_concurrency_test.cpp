#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "capture/camera_registry.h"
#include "capture/capture_channel.h"
#include "capture/fake_capture_backend.h"
#include "capture/scripted_frame_source.h"
#include "detection/detector_factory.h"
#include "detection/region_manager.h"

namespace tessary {
namespace {

using namespace std::chrono_literals;

// One channel over its own camera, copying frames and counting hits as a
// controller does.
struct Rig {
  void onFrame(const std::uint8_t* frame) {
    if (frame != nullptr) std::memcpy(copy.data(), frame, copy.size());
  }
  void onHit(std::int32_t) { ++hits; }
  RegionDescriptor cell(int x, int y) {
    return {x, y, 20, 20, 50, 20, {}, RegionIndexedHitCallback::bind(this, &Rig::onHit)};
  }

  fakes::ScriptedFrameSource source{
      {fakes::flatFrame(30), fakes::checkeredFrame(30), fakes::flatFrame(90)}};
  std::vector<std::uint8_t> copy = std::vector<std::uint8_t>(kFrameBytes);
  std::atomic<int> hits{0};
  CaptureChannel* channel = nullptr;
  RegionManager* manager = nullptr;
};

TEST(ChannelConcurrencyTest, ChannelsReconfiguredWhileFramesFlow) {
  std::array<Rig, 3> rigs;
  auto list = std::make_unique<CaptureChannelList>();
  for (Rig& rig : rigs) {
    rig.source.show(0);
    rig.channel = list->createChannel();
    ChannelInitRecord record;
    record.camera = &rig.source;
    ASSERT_TRUE(rig.channel->init(record));
    rig.channel->setFrameCallback(ChannelFrameCallback::bind(&rig, &Rig::onFrame));
    rig.manager = rig.channel->createRegionManager();
    for (int at = 0; at < 48; ++at) {
      std::int32_t index = -1;
      rig.manager->add(index, rig.cell(at % 8 * 20, at / 8 * 20));
    }
    ASSERT_TRUE(rig.channel->setFps(200) && rig.channel->start());
  }

  std::atomic<bool> done{false}, stopEditing{false};
  std::thread camera([&] {
    for (; !done; std::this_thread::sleep_for(2ms)) {
      for (Rig& rig : rigs) rig.source.advance();
    }
  });
  // One configuring thread per channel, as the owner serialises its calls.
  std::vector<std::thread> threads;
  for (Rig& rig : rigs) {
    threads.emplace_back([&rig, &stopEditing] {
      CaptureChannel& channel = *rig.channel;
      for (int round = 0; !stopEditing; ++round, std::this_thread::sleep_for(1ms)) {
        switch (round % 7) {
          case 0: channel.stop(); break;
          case 1: channel.setFps(150 + round % 100); break;
          case 2: channel.toggleMirror(); break;
          case 3: channel.setSensitivity(round % 100); break;
          case 4: channel.setDetectionMethod(kDetectionMethodNeighbour); break;
          case 5:
            channel.createRegionManager();  // current for a moment
            channel.selectRegionManager(rig.manager);
            break;
          case 6:
            channel.setFrameCallback(ChannelFrameCallback::bind(&rig, &Rig::onFrame));
            channel.start();
            break;
        }
      }
    });
  }
  std::this_thread::sleep_for(1500ms);
  stopEditing = true;
  for (auto& thread : threads) thread.join();

  // Left alone, every channel detects again.
  for (Rig& rig : rigs) {
    const int before = rig.hits;
    ASSERT_TRUE(rig.channel->start());
    for (int wait = 0; wait < 1000 && rig.hits <= before; ++wait) std::this_thread::sleep_for(5ms);
    EXPECT_GT(rig.hits, before);
  }
  list.reset();  // destroyed while running and while frames still arrive
  done = true;
  camera.join();
}

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
