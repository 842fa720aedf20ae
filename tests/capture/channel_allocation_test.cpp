// The detection step runs 15 times a second for the life of the program: a
// tick must not allocate. Counted by replacing the global allocator, which the
// sanitizers own in their builds, so there the check is left out.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "capture/capture_channel.h"
#include "capture/scripted_frame_source.h"
#include "detection/region_manager.h"

namespace {
thread_local bool countingAllocations = false;
thread_local int allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (countingAllocations) ++allocations;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace tessary {
namespace {

struct HitSink {
  void onHit(std::int32_t) { ++hits; }
  int hits = 0;
};

TEST(ChannelAllocationTest, ATickAllocatesNothingWhileEveryZoneFires) {
  fakes::FrozenTimerDevice frozen;
  fakes::ScriptedFrameSource source({fakes::flatFrame(10), fakes::checkeredFrame(10)});
  CaptureChannel channel(frozen);
  ChannelInitRecord record;
  record.camera = &source;
  ASSERT_TRUE(channel.init(record));
  HitSink sink;
  RegionManager& manager = *channel.createRegionManager();
  RegionDescriptor zone{0, 0, 4, 4, 50, 20, {}, RegionIndexedHitCallback::bind(&sink, &HitSink::onHit)};
  for (zone.y = 0; zone.y < 120; zone.y += 4) {
    for (zone.x = 0; zone.x < 160; zone.x += 4) {
      std::int32_t index = -1;
      ASSERT_TRUE(manager.add(index, zone));
    }
  }
  ASSERT_TRUE(channel.start());
  source.show(0);
  channel.tick();

  countingAllocations = true;
  for (int i = 0; i < 20; ++i) {
    source.advance();
    channel.tick();
  }
  countingAllocations = false;
  EXPECT_EQ(allocations, 0);
  EXPECT_GT(sink.hits, 1200);
}

}  // namespace
}  // namespace tessary

#endif
