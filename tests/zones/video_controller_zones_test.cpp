// Zones and grids over a real region manager and detector, with a test clock.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "common/frame.h"
#include "detection/neighbour_detector.h"
#include "detection/region_manager.h"
#include "zones/video_controller.h"
#include "zones/zone_hit_names.h"

namespace tessary::testing {
namespace {

struct FakeClock final : MillisecondClock {
  std::uint32_t nowMilliseconds() override { return now; }
  std::uint32_t now = 5000;
};

// Destroyed controller first, then the manager, then its detector.
class ZonesTest : public ::testing::Test {
 protected:
  ZonesTest() {
    manager.setDetector(&detector);
    controller.cameras().setCurrentRegionManager(&manager);
  }

  // The region of zone `id`: frame pixels in the camera buffer's orientation.
  std::vector<int> region(std::int32_t id) const {
    DetectionRegion r;
    EXPECT_TRUE(manager.regionAt(id, r)) << id;
    return {r.x, r.y, r.width, r.height};
  }
  ZoneRecord zone(std::string_view name) const {
    ZoneRecord record;
    EXPECT_TRUE(controller.copyZoneRecord(name, record)) << name;
    return record;
  }
  std::vector<int> rect(std::string_view name) const {
    const ZoneRecord r = zone(name);
    return {r.x, r.y, r.width, r.height};
  }

  FakeClock clock;
  NeighbourDetector detector{kFrameWidth, kFrameHeight};
  RegionManager manager;
  VideoController controller{clock};
};

using Ints = std::vector<int>;

TEST_F(ZonesTest, ScaleKeepsTheFloatErrorAndRefusesEmptySizes) {
  ASSERT_TRUE(controller.setScale(800, 600));
  EXPECT_EQ(controller.maxX(), 799);  // 0.2 is not exact in float
  EXPECT_FALSE(controller.setScale(0, 768) || controller.setScale(1024, -1));
}

TEST_F(ZonesTest, ClampsTheRegionButKeepsTheRequestedRectangle) {
  ASSERT_TRUE(controller.setScale(1024, 768));
  EXPECT_EQ(controller.addZone("a", 100, 200, 64, 48), 0);
  EXPECT_EQ(region(0), (Ints{15, 31, 10, 7}));
  controller.addZone("b", -20, 10, 50, 50);
  EXPECT_EQ(region(1), (Ints{0, 1, 7, 7}));
  EXPECT_EQ(zone("b").x, -20);
  // Cut to x 1000 width 24, y 700 height 68 in client units before scaling.
  controller.addZone("c", 1000, 700, 100, 100);
  EXPECT_EQ(region(2), (Ints{156, 109, 3, 10}));
  // The corner is pulled back first, then the size is cut against it.
  controller.moveZone("c", 5000, -5);
  EXPECT_EQ(region(2), (Ints{160, 0, 0, 15}));
  EXPECT_EQ(zone("c").x, 5000);

  ASSERT_TRUE(controller.setScale(16, 12));  // scale 10: products leave the int32 range
  controller.addZone("z", 3, 0, INT_MAX, INT_MIN);
  EXPECT_EQ(region(3), (Ints{30, 0, 130, INT_MIN}));  // negative sizes are not corrected
  EXPECT_EQ(controller.zoneStatusText("z"), "Created - (30,0)-(2147483647,-2147483648)");
}

// The texts that describe a zone reach the client byte for byte; they are
// checked there, in tests/link/zone_commands_test.cpp.

TEST_F(ZonesTest, DeletedSlotsAreReusedAndLongNamesCutTo127) {
  controller.addZone("a", 0, 0, 10, 10);
  controller.addZone("b", 20, 0, 10, 10);
  controller.deleteZone("a");
  controller.markZoneDeleted("a");
  EXPECT_EQ(controller.zoneCount(), 2);  // free slots still count
  EXPECT_FALSE(controller.zoneExists("a"));
  EXPECT_EQ(controller.findZone("a-Deleted"), 0);
  EXPECT_EQ(controller.addZone("c", 40, 0, 10, 10), 0);
  controller.clearAllZones();
  EXPECT_EQ(controller.zoneCount(), 0);
  EXPECT_FALSE(controller.zoneExists("b"));

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
  EXPECT_EQ(controller.findZone(longName), controller.addZone(longName, 0, 0, 10, 10));
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

  controller.pauseZone("e", 100);  // activating does not cancel a running pause
  controller.setZoneActive("e", true);
  EXPECT_EQ(zone("e").pauseRemaining, 100u);
}

class GridsTest : public ZonesTest {
 protected:
  GridsTest() { controller.setScale(160, 120); }

  GridRecord grid(std::string_view name) const {
    GridRecord record;
    EXPECT_TRUE(controller.copyGridRecord(name, record)) << name;
    return record;
  }
};

TEST_F(GridsTest, CellsAreNamedAndLaidOutRowByRow) {
  EXPECT_FALSE(controller.createGrid("g", 0, 0, 90, 60, 3, 2));
  ASSERT_EQ(grid("g").cellNames.size(), 6u);
  for (int k = 0; k < 6; ++k) {
    const std::string cell = "g_" + std::to_string(k);
    EXPECT_EQ(grid("g").cellNames[static_cast<std::size_t>(k)], cell);
    EXPECT_EQ(rect(cell), (Ints{(k % 3) * 30, (k / 3) * 30, 30, 30}));
  }
  EXPECT_EQ(controller.gridStatusText("g"), "Created");

  // Cut to whole cells, and reported.
  EXPECT_TRUE(controller.createGrid("t", 0, 0, 100, 100, 3, 3));
  EXPECT_EQ(grid("t").width, 99);
  EXPECT_EQ(rect("t_8"), (Ints{66, 66, 33, 33}));
  EXPECT_TRUE(controller.createGrid("small", 0, 0, 2, 2, 3, 3));
  EXPECT_TRUE(grid("small").cellNames.empty());

  // Bad subdivisions create nothing (and never loop).
  EXPECT_FALSE(controller.createGrid("a", 0, 0, 90, 60, -3, 2));
  EXPECT_FALSE(controller.createGrid("b", 0, 0, 90, 60, 3, INT_MIN));
  EXPECT_FALSE(controller.gridStatusText("a").has_value() || controller.gridStatusText("b").has_value());
  EXPECT_TRUE(controller.createGrid("d", 0, 0, -7, 60, 3, 2));  // no cells either
  EXPECT_EQ(manager.liveCount(), 15);
}

TEST_F(GridsTest, LongGridNamesKeepEveryCellNameDistinct) {
  const std::string longName(140, 'g');
  controller.createGrid(longName, 0, 0, 120, 10, 12, 1);
  const GridRecord record = grid(longName);
  EXPECT_EQ(record.name.view(), std::string(127, 'g'));
  ASSERT_EQ(record.cellNames.size(), 12u);
  EXPECT_EQ(record.cellNames[0], std::string(125, 'g') + "_0");
  EXPECT_EQ(record.cellNames[11], std::string(124, 'g') + "_11");
  controller.deleteGrid(longName);
  EXPECT_EQ(manager.liveCount(), 0);  // no cell left behind
}

TEST_F(GridsTest, MoveResizeAndDeleteCarryEveryCell) {
  controller.createGrid("g", 10, 10, 60, 60, 2, 2);
  controller.createGrid("h", 0, 100, 20, 20, 1, 1);
  controller.moveGrid("g", 40, 20);
  EXPECT_EQ(rect("g_3"), (Ints{70, 50, 30, 30}));
  EXPECT_EQ(region(3), (Ints{70, 50, 30, 30}));
  controller.resizeGrid("g", 101, 50);
  EXPECT_EQ(rect("g_1"), (Ints{90, 20, 50, 25}));
  EXPECT_EQ(rect("g_2"), (Ints{40, 45, 50, 25}));
  EXPECT_EQ(zone("g_2").status, ZoneStatus::kMovedResized);
  const GridRecord record = grid("g");
  EXPECT_EQ((Ints{record.x, record.y, record.width, record.height}), (Ints{40, 20, 101, 50}));

  controller.deleteZone("g_1");  // a cell deleted on its own first
  controller.markZoneDeleted("g_1");
  controller.markGridDeleted("g");
  EXPECT_EQ(controller.gridStatusText("g"), "Deleted");
  controller.deleteGrid("g");
  EXPECT_EQ(controller.findGrid("h"), 0);
  EXPECT_EQ(manager.liveCount(), 1);
  EXPECT_EQ(zone("g_0").status, ZoneStatus::kDeleted);  // not suffixed
  GridRecord gone;
  EXPECT_FALSE(controller.copyGridRecord("g", gone));
}

// What a pass reports: only zones that report hits, under their current
// names, in the order they fired; ids outside the table are skipped.
TEST(ZoneHitNamesTest, APassReportsLiveZonesUnderTheirCurrentNames) {
  ZoneHitNames table;
  std::vector<ZoneName> names;
  std::vector<ZoneHit> hits;
  const auto fired = [&](std::vector<std::int32_t> ids) {
    table.collect(ids, names, hits);
    std::vector<std::string> out;
    for (const ZoneHit& hit : hits) out.push_back(std::to_string(hit.zoneId) + ":" + std::string(hit.name));
    return out;
  };
  ZoneName door, hall;
  door.assign("door");
  hall.assign("hall");
  table.report(0, door);
  table.report(3, hall);
  EXPECT_EQ(fired({3, 7, -1, 1, 0}), (std::vector<std::string>{"3:hall", "0:door"}));
  table.silence(3);
  door.assign("door-Deleted");
  table.report(0, door);
  EXPECT_EQ(fired({0, 3}), (std::vector<std::string>{"0:door-Deleted"}));
  table.clear();
  EXPECT_TRUE(fired({0, 3}).empty());
}

}  // namespace
}  // namespace tessary::testing
