// Meant for the thread sanitizer: channels reconfigured, started and stopped
// while their timers tick and frames keep arriving; and a camera's frames read
// on one thread while samples arrive on another, where the reader must only
// ever see whole frames, never older than one it already saw.
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
using fakes::checkeredFrame;
using fakes::flatFrame;
using fakes::ScriptedFrameSource;

// What a controller does with frames and hits: copy and count.
class FrameSink {
 public:
  void onFrame(const std::uint8_t* frame) {
    if (frame != nullptr) std::memcpy(copy_.data(), frame, copy_.size());
  }
  void onHit(std::int32_t) { ++hits; }

  std::atomic<int> hits{0};

 private:
  std::vector<std::uint8_t> copy_ = std::vector<std::uint8_t>(kFrameBytes);
};

RegionDescriptor cell(FrameSink& sink, int x, int y) {
  return {x, y, 20, 20, 50, 20, {}, RegionIndexedHitCallback::bind(&sink, &FrameSink::onHit)};
}

TEST(ChannelConcurrencyTest, ChannelsReconfiguredWhileFramesFlow) {
  constexpr int kChannels = 3;
  std::array<std::unique_ptr<ScriptedFrameSource>, kChannels> sources;
  std::array<FrameSink, kChannels> sinks;
  std::array<RegionManager*, kChannels> managers{};
  auto list = std::make_unique<CaptureChannelList>();
  std::array<CaptureChannel*, kChannels> channels{};

  for (int i = 0; i < kChannels; ++i) {
    sources[i] = std::make_unique<ScriptedFrameSource>(std::vector<fakes::Frame>{
        flatFrame(30), checkeredFrame(30, 0, 0, 160, 120), flatFrame(90)});
    sources[i]->show(0);
    channels[i] = list->createChannel();
    ChannelInitRecord record;
    record.camera = sources[i].get();
    ASSERT_TRUE(channels[i]->init(record));
    channels[i]->setFrameCallback(ChannelFrameCallback::bind(&sinks[i], &FrameSink::onFrame));
    managers[i] = channels[i]->createRegionManager();
    for (int y = 0; y < 120; y += 20) {
      for (int x = 0; x < 160; x += 20) {
        std::int32_t index = -1;
        ASSERT_TRUE(managers[i]->add(index, cell(sinks[i], x, y)));
      }
    }
    ASSERT_TRUE(channels[i]->setFps(200));
    ASSERT_TRUE(channels[i]->start());
  }

  std::atomic<bool> done{false}, stopEditing{false};
  std::thread camera([&] {
    while (!done) {
      for (auto& source : sources) source->advance();
      std::this_thread::sleep_for(2ms);
    }
  });

  // One configuring thread per channel, as the owner serialises its calls.
  std::vector<std::thread> controllers;
  for (int i = 0; i < kChannels; ++i) {
    controllers.emplace_back([&, i] {
      CaptureChannel& channel = *channels[i];
      for (int round = 0; !stopEditing; ++round) {
        switch (round % 8) {
          case 0: channel.stop(); break;
          case 1: channel.start(); break;
          case 2: channel.setFps(150 + round % 100); break;
          case 3: channel.toggleMirror(); break;
          case 4: channel.setSensitivity(round % 100); break;
          case 5: channel.setDetectionMethod(kDetectionMethodNeighbour); break;
          case 6:
            channel.createRegionManager();  // current for a moment
            channel.selectRegionManager(managers[i]);
            break;
          case 7:
            channel.setFrameCallback(ChannelFrameCallback::bind(&sinks[i], &FrameSink::onFrame));
            channel.start();
            break;
        }
        std::this_thread::sleep_for(1ms);
      }
    });
  }
  // Zones come and go on the current managers meanwhile.
  std::thread editor([&] {
    for (int round = 0; !stopEditing; ++round) {
      RegionManager& manager = *managers[round % kChannels];
      std::int32_t index = -1;
      manager.add(index, cell(sinks[round % kChannels], round % 140, round % 100));
      manager.setThreshold(index, round % 50);
      manager.remove(index);
      std::this_thread::sleep_for(500us);
    }
  });

  std::this_thread::sleep_for(1500ms);
  stopEditing = true;
  for (auto& thread : controllers) thread.join();
  editor.join();

  // Left alone, every channel detects again.
  std::array<int, kChannels> hitsBefore{};
  for (int i = 0; i < kChannels; ++i) {
    hitsBefore[i] = sinks[i].hits;
    ASSERT_TRUE(channels[i]->start());
  }
  for (int i = 0; i < kChannels; ++i) {
    for (int wait = 0; wait < 1000 && sinks[i].hits <= hitsBefore[i]; ++wait) {
      std::this_thread::sleep_for(5ms);
    }
    EXPECT_GT(sinks[i].hits, hitsBefore[i]) << "channel " << i;
  }

  // Destroyed while running and while frames still arrive.
  list.reset();
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
