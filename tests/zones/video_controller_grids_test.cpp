#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "zone_test_support.h"

namespace tessary::testing {
namespace {

class GridsTest : public ControllerFixture {
 protected:
  GridsTest() { controller.setScale(160, 120); }

  ZoneRecord zone(const std::string& name) const {
    ZoneRecord record;
    EXPECT_TRUE(controller.copyZoneRecord(name, record)) << name;
    return record;
  }
  void expectZone(const std::string& name, int x, int y, int width, int height) const {
    ZoneRecord record = zone(name);
    EXPECT_EQ(record.x, x) << name;
    EXPECT_EQ(record.y, y) << name;
    EXPECT_EQ(record.width, width) << name;
    EXPECT_EQ(record.height, height) << name;
  }
};

TEST_F(GridsTest, CellsAreNamedAndLaidOutRowByRow) {
  EXPECT_FALSE(controller.createGrid("g", 0, 0, 90, 60, 3, 2));
  GridRecord grid;
  ASSERT_TRUE(controller.copyGridRecord("g", grid));
  ASSERT_EQ(grid.cellNames.size(), 6u);
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(grid.cellNames[static_cast<std::size_t>(k)], "g_" + std::to_string(k));
    expectZone("g_" + std::to_string(k), (k % 3) * 30, (k / 3) * 30, 30, 30);
  }
  EXPECT_EQ(controller.zoneSummaryText("g_5"), "g_5, Created, 60, 30, 30, 30, 20, 50");
  EXPECT_EQ(controller.gridStatusText("g"), "Created");
}

TEST_F(GridsTest, SizesAreCutToWholeCellsAndReported) {
  EXPECT_TRUE(controller.createGrid("t", 0, 0, 100, 100, 3, 3));
  GridRecord grid;
  controller.copyGridRecord("t", grid);
  EXPECT_EQ(grid.width, 99);
  EXPECT_EQ(grid.height, 99);
  ASSERT_EQ(grid.cellNames.size(), 9u);
  expectZone("t_2", 66, 0, 33, 33);
  expectZone("t_8", 66, 66, 33, 33);

  // Smaller than its subdivisions: cut to nothing, no cells.
  EXPECT_TRUE(controller.createGrid("small", 0, 0, 2, 2, 3, 3));
  controller.copyGridRecord("small", grid);
  EXPECT_EQ(grid.width, 0);
  EXPECT_TRUE(grid.cellNames.empty());
}

TEST_F(GridsTest, BadSubdivisionsCreateNothing) {
  EXPECT_FALSE(controller.createGrid("a", 0, 0, 90, 60, -3, 2));
  EXPECT_FALSE(controller.createGrid("b", 0, 0, 90, 60, 3, INT_MIN));
  EXPECT_FALSE(controller.createGrid("c", 0, 0, 90, 60, 0, 0));
  EXPECT_EQ(controller.gridCount(), 0);
  EXPECT_EQ(controller.zoneCount(), 0);
  EXPECT_FALSE(controller.gridStatusText("a").has_value());

  // A negative size is cut toward zero and gets no cells.
  EXPECT_TRUE(controller.createGrid("d", 0, 0, -7, 60, 3, 2));
  EXPECT_EQ(controller.zoneCount(), 0);
}

TEST_F(GridsTest, LongGridNamesKeepEveryCellNameDistinct) {
  const std::string longName(140, 'g');
  controller.createGrid(longName, 0, 0, 120, 10, 12, 1);
  GridRecord grid;
  ASSERT_TRUE(controller.copyGridRecord(longName, grid));
  EXPECT_EQ(grid.name.view(), std::string(127, 'g'));
  ASSERT_EQ(grid.cellNames.size(), 12u);
  EXPECT_EQ(grid.cellNames[0], std::string(125, 'g') + "_0");
  EXPECT_EQ(grid.cellNames[11], std::string(124, 'g') + "_11");
  for (std::size_t k = 0; k < 12; ++k) {
    EXPECT_EQ(controller.findZone(grid.cellNames[k]), static_cast<std::int32_t>(k));
  }
  controller.deleteGrid(longName);
  EXPECT_EQ(manager.liveCount(), 0);  // no cell left behind
}

TEST_F(GridsTest, DeleteRemovesItsZonesAndClosesTheGap) {
  controller.addZone("g_0", 0, 0, 5, 5);  // an older zone of a cell's name
  controller.createGrid("g", 10, 10, 40, 20, 2, 1);
  controller.createGrid("h", 0, 60, 20, 20, 1, 1);
  EXPECT_EQ(controller.findZone("g_0"), 0);  // lookups find the older zone

  controller.deleteZone("g_1");  // a cell deleted on its own first
  controller.markZoneDeleted("g_1");
  controller.markGridDeleted("g");
  EXPECT_EQ(controller.gridStatusText("g"), "Deleted");
  controller.deleteGrid("g");

  EXPECT_EQ(controller.gridCount(), 1);
  EXPECT_EQ(controller.findGrid("h"), 0);
  EXPECT_EQ(manager.liveCount(), 2);  // the grid's own g_0 cell and h_0
  EXPECT_EQ(zone("g_0").status, ZoneStatus::kDeleted);
  EXPECT_EQ(zone("g_1-Deleted").status, ZoneStatus::kDeleted);

  GridRecord grid;
  EXPECT_FALSE(controller.copyGridRecord("g", grid));
  EXPECT_TRUE(grid.cellNames.empty());
  EXPECT_TRUE(grid.name.empty());

  controller.clearAllZones();
  EXPECT_EQ(controller.gridCount(), 0);
}

TEST_F(GridsTest, MoveAndResizeCarryEveryCell) {
  controller.createGrid("g", 10, 10, 60, 60, 2, 2);
  controller.moveGrid("g", 40, 20);
  expectZone("g_0", 40, 20, 30, 30);
  expectZone("g_3", 70, 50, 30, 30);
  EXPECT_EQ(zone("g_3").status, ZoneStatus::kMoved);
  EXPECT_EQ(region(3).x, 70);

  controller.resizeGrid("g", 101, 50);
  expectZone("g_0", 40, 20, 50, 25);
  expectZone("g_1", 90, 20, 50, 25);
  expectZone("g_2", 40, 45, 50, 25);
  EXPECT_EQ(zone("g_2").status, ZoneStatus::kMovedResized);

  GridRecord grid;
  controller.copyGridRecord("g", grid);
  EXPECT_EQ(grid.x, 40);
  EXPECT_EQ(grid.y, 20);
  EXPECT_EQ(grid.width, 101);  // stored as given
  EXPECT_EQ(grid.height, 50);
}

}  // namespace
}  // namespace tessary::testing
