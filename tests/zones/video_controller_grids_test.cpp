#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "zone_test_support.h"

namespace tessary::testing {
namespace {

class GridsTest : public ControllerFixture {
 protected:
  GridsTest() { controller.setScale(160, 120); }

  GridRecord grid(std::string_view name) const {
    GridRecord record;
    EXPECT_TRUE(controller.copyGridRecord(name, record)) << name;
    return record;
  }
  std::vector<int> rect(std::string_view zoneName) const {
    ZoneRecord r = zone(zoneName);
    return {r.x, r.y, r.width, r.height};
  }
};

TEST_F(GridsTest, CellsAreNamedAndLaidOutRowByRow) {
  EXPECT_FALSE(controller.createGrid("g", 0, 0, 90, 60, 3, 2));
  ASSERT_EQ(grid("g").cellNames.size(), 6u);
  for (int k = 0; k < 6; ++k) {
    const std::string cell = "g_" + std::to_string(k);
    EXPECT_EQ(grid("g").cellNames[static_cast<std::size_t>(k)], cell);
    EXPECT_EQ(rect(cell), std::vector<int>({(k % 3) * 30, (k / 3) * 30, 30, 30}));
  }
  EXPECT_EQ(controller.gridStatusText("g"), "Created");

  // Cut to whole cells, and reported.
  EXPECT_TRUE(controller.createGrid("t", 0, 0, 100, 100, 3, 3));
  EXPECT_EQ(grid("t").width, 99);
  EXPECT_EQ(rect("t_8"), std::vector<int>({66, 66, 33, 33}));
  EXPECT_TRUE(controller.createGrid("small", 0, 0, 2, 2, 3, 3));
  EXPECT_TRUE(grid("small").cellNames.empty());
}

TEST_F(GridsTest, BadSubdivisionsCreateNothing) {
  EXPECT_FALSE(controller.createGrid("a", 0, 0, 90, 60, -3, 2));
  EXPECT_FALSE(controller.createGrid("b", 0, 0, 90, 60, 3, INT_MIN));
  EXPECT_EQ(controller.gridCount(), 0);
  EXPECT_FALSE(controller.gridStatusText("a").has_value());
  EXPECT_TRUE(controller.createGrid("d", 0, 0, -7, 60, 3, 2));  // no cells either
  EXPECT_EQ(controller.zoneCount(), 0);
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

TEST_F(GridsTest, DeleteRemovesItsZonesAndClosesTheGap) {
  controller.createGrid("g", 10, 10, 40, 20, 2, 1);
  controller.createGrid("h", 0, 60, 20, 20, 1, 1);
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
  EXPECT_TRUE(gone.cellNames.empty());
}

TEST_F(GridsTest, MoveAndResizeCarryEveryCell) {
  controller.createGrid("g", 10, 10, 60, 60, 2, 2);
  controller.moveGrid("g", 40, 20);
  EXPECT_EQ(rect("g_3"), std::vector<int>({70, 50, 30, 30}));
  EXPECT_EQ(zone("g_3").status, ZoneStatus::kMoved);
  expectRegion(3, 70, 50, 30, 30);

  controller.resizeGrid("g", 101, 50);
  EXPECT_EQ(rect("g_1"), std::vector<int>({90, 20, 50, 25}));
  EXPECT_EQ(rect("g_2"), std::vector<int>({40, 45, 50, 25}));
  EXPECT_EQ(zone("g_2").status, ZoneStatus::kMovedResized);
  const GridRecord record = grid("g");
  EXPECT_EQ(std::vector<int>({record.x, record.y, record.width, record.height}),
            std::vector<int>({40, 20, 101, 50}));  // the size as given
}

}  // namespace
}  // namespace tessary::testing
