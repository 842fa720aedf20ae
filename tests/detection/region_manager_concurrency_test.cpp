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

using testing::TestFrame;

// Stands for the reply sender: hits take its lock, and the main thread holds
// the same lock while changing regions. If the manager called out with its
// own lock held, the two threads would deadlock.
class HitSink {
 public:
  explicit HitSink(RegionManager& manager) : manager_(manager) {}

  void onHit() { hits.fetch_add(1, std::memory_order_relaxed); }
  void onHitIndexed(std::int32_t index) {
    std::lock_guard lock(replyMutex);
    // Calling back into the manager from the handler must be safe.
    amounts += manager_.motionAmount(index);
    if (manager_.isActive(index) != 0) indexedHits.fetch_add(1, std::memory_order_relaxed);
  }

  RegionManager& manager_;
  std::mutex replyMutex;
  std::uint64_t amounts = 0;  // guarded by replyMutex
  std::atomic<int> hits{0};
  std::atomic<int> indexedHits{0};
};

TEST(RegionManagerConcurrencyTest, EvaluationAndChangesRunSideBySide) {
  NeighbourDetector detector(kFrameWidth, kFrameHeight, 2);
  RegionManager manager;
  manager.setDetector(&detector);
  HitSink sink(manager);

  // Moving bars: every frame differs from the one before.
  std::vector<TestFrame> frames(8);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    for (int y = 0; y < kFrameHeight; ++y) {
      for (int x = 0; x < kFrameWidth; ++x) {
        frames[i].setGrey(x, y, ((x + static_cast<int>(i) * 3) / 4) % 2 == 0 ? 220 : 10);
      }
    }
  }

  std::atomic<bool> stop{false};
  std::atomic<int> evaluations{0};
  std::thread detection([&] {
    for (std::size_t tick = 0; !stop.load(std::memory_order_relaxed); ++tick) {
      const std::uint8_t* pointer = frames[tick % frames.size()].data();
      if (detector.processFrame(pointer) && manager.evaluateFrame()) {
        evaluations.fetch_add(1, std::memory_order_relaxed);
      }
    }
  });

  std::vector<std::int32_t> live;
  for (int round = 0; round < 400; ++round) {
    std::lock_guard lock(sink.replyMutex);
    RegionDescriptor descriptor;
    descriptor.x = (round * 7) % 150;
    descriptor.y = (round * 5) % 110;
    descriptor.width = 10 + round % 30;
    descriptor.height = 10 + round % 20;
    descriptor.threshold = round % 10;
    descriptor.onHit = RegionHitCallback::bind(&sink, &HitSink::onHit);
    descriptor.onHitIndexed = RegionIndexedHitCallback::bind(&sink, &HitSink::onHitIndexed);
    std::int32_t index = -1;
    ASSERT_TRUE(manager.add(index, descriptor));
    live.push_back(index);

    const std::int32_t some = live[static_cast<std::size_t>(round) % live.size()];
    manager.move(some, round % 140, round % 100);
    manager.setActive(some, static_cast<std::uint8_t>(round % 3 != 0));
    manager.setSensitivity(some, round % 101);
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
    std::this_thread::yield();
  }
  // However the threads were scheduled, a full-frame region must fire soon.
  RegionDescriptor full;
  full.width = kFrameWidth;
  full.height = kFrameHeight;
  full.threshold = 0;
  full.onHit = RegionHitCallback::bind(&sink, &HitSink::onHit);
  std::int32_t index = -1;
  ASSERT_TRUE(manager.add(index, full));
  for (int i = 0; i < 1000 && sink.hits.load() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  stop.store(true);
  detection.join();

  EXPECT_GT(evaluations.load(), 0);
  EXPECT_GT(sink.hits.load(), 0);
  EXPECT_LE(manager.liveCount(), 41);
}

}  // namespace
}  // namespace tessary
