// One thread evaluates frames while another changes the regions, as the
// detection and main threads do. Run under ThreadSanitizer and
// AddressSanitizer; a deadlock shows as a hang caught by the test timeout.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "common/frame.h"
#include "detection/neighbour_detector.h"
#include "detection/region_manager.h"
#include "test_frames.h"

namespace tessary {
namespace {

// Stands for the reply sender: a hit takes its lock, and the main thread
// holds that lock while changing regions. Were the manager to call out with
// its own lock held, the two threads would deadlock.
struct HitSink {
  explicit HitSink(RegionManager& owner) : manager(&owner) {}
  void onHit() { hits.fetch_add(1); }
  void onHitIndexed(std::int32_t index) {
    std::lock_guard lock(replyMutex);
    amounts += manager->motionAmount(index) + manager->isActive(index);
  }
  RegionManager* manager;
  std::mutex replyMutex;
  std::uint64_t amounts = 0;  // guarded by replyMutex
  std::atomic<int> hits{0};
};

TEST(RegionManagerConcurrencyTest, EvaluationAndChangesRunSideBySide) {
  NeighbourDetector detector(kFrameWidth, kFrameHeight, 2);
  RegionManager manager;
  manager.setDetector(&detector);
  HitSink sink(manager);
  auto descriptor = [&](int x, int y, int width, int height, int threshold) {
    RegionDescriptor d{x, y, width, height, 50, threshold, {}, {}};
    d.onHit = RegionHitCallback::bind(&sink, &HitSink::onHit);
    d.onHitIndexed = RegionIndexedHitCallback::bind(&sink, &HitSink::onHitIndexed);
    return d;
  };

  std::vector<testing::TestFrame> frames(8);  // moving bars
  for (std::size_t i = 0; i < frames.size(); ++i) {
    for (int y = 0; y < kFrameHeight; ++y) {
      for (int x = 0; x < kFrameWidth; ++x) {
        frames[i].setGrey(x, y, ((x + static_cast<int>(i) * 3) / 4) % 2 == 0 ? 220 : 10);
      }
    }
  }
  std::atomic<bool> stop{false};
  std::thread detection([&] {
    for (std::size_t tick = 0; !stop.load(); ++tick) {
      const std::uint8_t* pointer = frames[tick % frames.size()].data();
      if (detector.processFrame(pointer)) manager.evaluateFrame();
    }
  });

  // Changes go on until many hits have been reported while they ran.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::vector<std::int32_t> live;
  for (int round = 0; round < 400 || (sink.hits.load() < 200 && std::chrono::steady_clock::now() < deadline);
       ++round) {
    std::lock_guard lock(sink.replyMutex);
    std::int32_t index = -1;
    if (live.empty()) {  // one region that fires on every frame
      ASSERT_TRUE(manager.add(index, descriptor(0, 0, kFrameWidth, kFrameHeight, 0)));
    }
    ASSERT_TRUE(manager.add(index, descriptor((round * 7) % 150, (round * 5) % 110,
                                              10 + round % 30, 10 + round % 20, round % 10)));
    live.push_back(index);
    const std::int32_t some = live[static_cast<std::size_t>(round) % live.size()];
    manager.move(some, round % 140, round % 100);
    manager.setActive(some, static_cast<std::uint8_t>(round % 3 != 0));
    manager.setThreshold(some, round % 50);
    if (round % 50 == 25) {
      const int old = detector.mode();
      detector.setMode(round % 4);
      manager.remapRegions(old, round % 4);
    }
    if (live.size() > 40) {
      manager.remove(live.front());
      live.erase(live.begin());
    }
    if (round % 100 == 99) {
      manager.clear();
      live.clear();
    }
  }
  stop.store(true);
  detection.join();
  EXPECT_GT(sink.hits.load(), 0);
}

}  // namespace
}  // namespace tessary
