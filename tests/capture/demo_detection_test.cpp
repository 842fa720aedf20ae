// The demo camera end to end through a capture channel and its detection:
// zones inside the motion band are hit again and again, zones outside never.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "capture/camera_registry.h"
#include "capture/capture_channel.h"
#include "capture/demo_capture_backend.h"
#include "detection/region_manager.h"

namespace tessary {
namespace {

using namespace std::chrono_literals;

class ZoneHits {
 public:
  void onHit(std::int32_t index) {
    if (index >= 0 && index < static_cast<std::int32_t>(hits_.size())) ++hits_[index];
  }
  std::array<int, 4> snapshot() const {
    std::array<int, 4> counts{};
    for (std::size_t i = 0; i < counts.size(); ++i) counts[i] = hits_[i];
    return counts;
  }

 private:
  std::array<std::atomic<int>, 4> hits_{};
};

TEST(DemoDetectionTest, ZonesInTheBandAreHitAndOthersNever) {
  CameraRegistry registry(makeDemoCaptureBackend());
  ASSERT_EQ(registry.scanCameras(kFrameWidth, kFrameHeight), 1);
  ASSERT_TRUE(registry.open({kFrameWidth, kFrameHeight, 15, kDemoCameraName}));
  Camera* camera = registry.find(kDemoCameraName);
  ASSERT_NE(camera, nullptr);

  CaptureChannelList channels;
  CaptureChannel* channel = channels.createChannel();
  ChannelInitRecord record;
  record.camera = camera;
  ASSERT_TRUE(channel->init(record));
  channel->setFps(15);
  RegionManager* zones = channel->createRegionManager();
  ASSERT_NE(zones, nullptr);

  ZoneHits hits;
  struct Zone {
    int x, y, width, height;
  };
  // Two inside the band (one small, one the whole band), two just outside it.
  const std::array<Zone, 4> layout = {{{40, 50, 16, 16},
                                       {0, kDemoMotionTop, kFrameWidth, kDemoMotionBottom - kDemoMotionTop + 1},
                                       {0, 0, kFrameWidth, kDemoMotionTop},
                                       {0, kDemoMotionBottom + 1, kFrameWidth, kFrameHeight - kDemoMotionBottom - 1}}};
  for (std::size_t i = 0; i < layout.size(); ++i) {
    RegionDescriptor zone;
    zone.x = layout[i].x;
    zone.y = layout[i].y;
    zone.width = layout[i].width;
    zone.height = layout[i].height;
    zone.onHitIndexed = RegionIndexedHitCallback::bind(&hits, &ZoneHits::onHit);
    std::int32_t index = -1;
    ASSERT_TRUE(zones->add(index, zone));
    ASSERT_EQ(index, static_cast<std::int32_t>(i));
  }

  ASSERT_TRUE(camera->start());
  ASSERT_TRUE(channel->start());
  // The first frames are compared with the detector's empty start picture.
  std::this_thread::sleep_for(400ms);
  std::array<int, 4> before = hits.snapshot();
  std::this_thread::sleep_for(1500ms);
  std::array<int, 4> after = hits.snapshot();
  channel->stop();
  camera->stop();

  EXPECT_GE(after[0] - before[0], 3);
  EXPECT_GE(after[1] - before[1], 3);
  EXPECT_EQ(after[2] - before[2], 0);
  EXPECT_EQ(after[3] - before[3], 0);
}

}  // namespace
}  // namespace tessary
