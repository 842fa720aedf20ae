#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "zone_test_support.h"

namespace tessary::testing {
namespace {

using ZonesTest = ControllerFixture;

TEST_F(ZonesTest, ScaleKeepsTheFloatErrorInTheLargestCoordinate) {
  ASSERT_TRUE(controller.setScale(800, 600));
  EXPECT_EQ(controller.maxX(), 799);  // 0.2 is not exact in float
  ASSERT_TRUE(controller.setScale(1024, 768));
  EXPECT_EQ(controller.maxX(), 1024);
  EXPECT_EQ(controller.maxY(), 768);
  // Sizes that would give an infinite or negative scale change nothing.
  EXPECT_FALSE(controller.setScale(0, 768));
  EXPECT_FALSE(controller.setScale(1024, -1));
  EXPECT_FLOAT_EQ(controller.scaleX(), 0.15625f);
}

TEST_F(ZonesTest, ClampsTheRegionButKeepsTheRequestedRectangle) {
  ASSERT_TRUE(controller.setScale(1024, 768));
  EXPECT_EQ(controller.addZone("a", 100, 200, 64, 48), 0);
  expectRegion(0, 15, 31, 10, 7);
  controller.addZone("b", -20, 10, 50, 50);
  expectRegion(1, 0, 1, 7, 7);
  EXPECT_EQ(zone("b").x, -20);
  // Cut to x 1000 width 24, y 700 height 68 in client units before scaling.
  controller.addZone("c", 1000, 700, 100, 100);
  expectRegion(2, 156, 109, 3, 10);
  // The corner is pulled back first, then the size is cut against it.
  controller.moveZone("c", 5000, -5);
  expectRegion(2, 160, 0, 0, 15);
  EXPECT_EQ(zone("c").x, 5000);

  ASSERT_TRUE(controller.setScale(16, 12));  // scale 10: products leave the int32 range
  controller.addZone("z", 3, 0, INT_MAX, INT_MIN);
  expectRegion(3, 30, 0, 130, INT_MIN);  // negative sizes are not corrected
  EXPECT_EQ(controller.zoneStatusText("z"), "Created - (30,0)-(2147483647,-2147483648)");
}

TEST_F(ZonesTest, DescriptionTextsByteForByte) {
  ASSERT_TRUE(controller.setScale(1024, 768));
  controller.addZone("a", 100, 200, 64, 48);
  EXPECT_EQ(controller.zoneStatusText("a"), "Created - (15,31)-(10,7)");
  EXPECT_EQ(controller.zoneSummaryText("a"), "a, Created, 100, 200, 64, 48, 20, 50");
  EXPECT_EQ(controller.zoneAttributesText("a"),
            "name=\"a\" status=\"Created\" x=\"100\" y=\"200\" width=\"64\" height=\"48\" "
            "threshold=\"20\" sensitivity=\"50\"");
  EXPECT_EQ(controller.zoneSummaryText("nope"), "illegal zone ID");
  EXPECT_EQ(controller.zoneAttributesText("nope"), "illegal zone ID");
  EXPECT_FALSE(controller.zoneStatusText("nope").has_value());

  controller.setZoneSensitivity("a", 80);
  controller.setZoneThreshold("a", 30);
  EXPECT_EQ(controller.zoneSummaryText("a"), "a, Created, 100, 200, 64, 48, 30, 80");
  controller.moveZone("a", 200, 100);
  EXPECT_EQ(controller.zoneStatusText("a"), "Moved - (31,15)-(10,7)");
  controller.resizeZone("a", 128, 96);
  EXPECT_EQ(controller.zoneStatusText("a"), "Resized - (31,15)-(20,15)");
  controller.moveSizeZone("a", 0, 0, 64, 64);
  EXPECT_EQ(controller.zoneStatusText("a"), "MovedResized - (0,0)-(10,10)");
  controller.pauseZone("a", 500);
  EXPECT_EQ(controller.zoneSummaryText("a"), "a, Invalid, 0, 0, 64, 64, 30, 80");
  controller.pauseZone("a", 0);  // the resumed status has an empty word
  EXPECT_EQ(controller.zoneStatusText("a"), " - (0,0)-(10,10)");
  controller.deleteZone("a");
  EXPECT_EQ(controller.zoneStatusText("a"), "Deleted - (0,0)-(10,10)");
}

TEST_F(ZonesTest, DeletedSlotsAreReusedAndNamesFreed) {
  controller.addZone("a", 0, 0, 10, 10);
  controller.addZone("b", 20, 0, 10, 10);
  controller.deleteZone("a");
  controller.markZoneDeleted("a");
  EXPECT_EQ(controller.zoneCount(), 2);  // free slots still count
  EXPECT_FALSE(controller.zoneExists("a"));
  EXPECT_EQ(controller.findZone("a-Deleted"), 0);
  EXPECT_EQ(controller.addZone("c", 40, 0, 10, 10), 0);
  EXPECT_EQ(controller.zoneSummaryText("c"), "c, Created, 40, 0, 10, 10, 20, 50");

  controller.clearAllZones();
  EXPECT_EQ(controller.zoneCount(), 0);
  EXPECT_FALSE(controller.zoneExists("b"));
}

TEST_F(ZonesTest, LongNamesAreCutTo127AndStillFreedOnDelete) {
  const std::string longName(200, 'n');
  const std::int32_t id = controller.addZone(longName, 0, 0, 10, 10);
  EXPECT_EQ(controller.zoneName(id), std::string(127, 'n'));
  EXPECT_EQ(controller.findZone(longName), id);  // answers to the name it was given
  controller.moveSizeZone(longName, INT_MIN, INT_MIN, INT_MIN, INT_MIN);
  EXPECT_EQ(controller.zoneAttributesText(longName).size(), 255u);  // cut, not overrun
  controller.deleteZone(longName);
  controller.markZoneDeleted(longName);
  EXPECT_EQ(controller.zoneName(id), std::string(119, 'n') + "-Deleted");
  EXPECT_FALSE(controller.zoneExists(longName));
  const std::int32_t again = controller.addZone(longName, 0, 0, 10, 10);
  EXPECT_EQ(controller.findZone(longName), again);
}

TEST_F(ZonesTest, PauseCountsDownOverTicks) {
  clock.now = 0xFFFFFE00u;  // the countdown crosses the counter's wrap
  controller.addZone("e", 0, 0, 10, 10);
  controller.addZone("f", 20, 0, 10, 10);
  controller.tickPauseTimers();  // takes the first time
  controller.pauseZone("e", 1000);
  EXPECT_FALSE(controller.zoneActive(0));
  controller.pauseZone("f", 300);
  controller.deleteZone("f");  // its pause dies with it

  clock.now += 600;
  controller.tickPauseTimers();
  EXPECT_EQ(zone("e").pauseRemaining, 400u);
  EXPECT_EQ(zone("e").status, ZoneStatus::kInvalid);
  EXPECT_FALSE(controller.zoneActive(0));
  clock.now += 400;
  controller.tickPauseTimers();
  EXPECT_EQ(zone("e").pauseRemaining, 0u);
  EXPECT_EQ(zone("e").status, ZoneStatus::kResumed);
  EXPECT_TRUE(controller.zoneActive(0));
  EXPECT_EQ(zone("f").status, ZoneStatus::kDeleted);

  // Activating does not cancel a running pause.
  controller.pauseZone("e", 100);
  controller.setZoneActive("e", true);
  EXPECT_EQ(zone("e").pauseRemaining, 100u);
}

TEST(ZonesWithoutCameraTest, EveryOperationIsANoOp) {
  FakeClock clock;
  VideoController controller(clock);
  EXPECT_EQ(controller.addZone("a", 0, 0, 10, 10), -1);
  controller.tickPauseTimers();
  controller.createGrid("g", 0, 0, 20, 20, 2, 2);
  EXPECT_EQ(controller.zoneCount(), 0);
  EXPECT_FALSE(controller.zoneActive(0));
}

class MirroredFlippedTest : public ControllerFixture {
 protected:
  MirroredFlippedTest() : ControllerFixture(/*nativeOrientation=*/2, /*mode=*/1) {}
};

TEST_F(MirroredFlippedTest, RegionsAreMappedIntoTheCameraBuffer) {
  ASSERT_TRUE(controller.setScale(160, 120));
  controller.addZone("a", 0, 0, 10, 10);
  expectRegion(0, 150, 110, 10, 10);
  controller.moveZone("a", 20, 30);
  expectRegion(0, 130, 80, 10, 10);
  EXPECT_EQ(controller.zoneStatusText("a"), "Moved - (20,30)-(10,10)");
}

TEST_F(ZonesTest, HitsReachTheListenerByZoneId) {
  ASSERT_TRUE(controller.setScale(160, 120));
  controller.addZone("door", 10, 10, 20, 20);
  controller.addZone("window", 100, 60, 20, 20);
  feed(makeFrame());
  feed(makeFrame(100, 60, 20, 20));
  ASSERT_EQ(listener.hits.size(), 1u);
  EXPECT_EQ(listener.hits[0], std::make_pair(1, std::string("window")));
  EXPECT_EQ(controller.zoneMotionAmount(1), 50);

  controller.pauseZone("door", 1000);  // a paused zone reports nothing
  feed(makeFrame(10, 10, 20, 20));
  for (const auto& hit : listener.hits) EXPECT_NE(hit.second, "door");
}

}  // namespace
}  // namespace tessary::testing
