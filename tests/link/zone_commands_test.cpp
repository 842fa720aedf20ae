// The zone and grid commands with their status messages, and hits reaching
// the client, over a real loopback connection.
#include <string>
#include <thread>

#include "link/command_fixture.h"

namespace tessary::testing {
namespace {

std::string error(std::string_view text) { return "<error content=\"" + std::string(text) + "\">"; }

ZoneRecord recordOf(VideoController& controller, std::string_view name) {
  ZoneRecord record;
  EXPECT_TRUE(controller.copyZoneRecord(name, record)) << name;
  return record;
}

TEST_F(LoggedInTest, AddReportsOnlyWhenAsked) {
  expectReplies("display_size(320,240);add(door,100,50,200,100)", {});
  expectReplies("add(door,1,1,1,1)", {error("Duplicate zone name 'door'.")});
  expectReplies("status_messages(add);add(hall,100,50,200,100)",
                {"<zone name=\"hall\" status=\"Created - (50,25)-(100,50)\">"});
  expectReplies("set_data_type(commands);add(yard,0,0,20,20)", {"yard.Created - (0,0)-(10,10);"});
  EXPECT_EQ(recordOf(controller, "door").width, 200);
}

TEST_F(LoggedInTest, MoveResizeAndMoveSizeEachHaveTheirOwnBit) {
  expectReplies("add(z,10,10,20,20);z.move(30,30);z.resize(5,5);z.movesize(1,2,3,4)", {});
  expectReplies("status_messages(move);z.move(40,40);z.resize(6,6);z.movesize(1,1,2,2)",
                {"<zone name=\"z\" status=\"Moved - (40,40)-(3,4)\">"});
  expectReplies("status_messages(no_move,resize);z.move(3,3);z.resize(7,7);z.movesize(1,1,2,2)",
                {"<zone name=\"z\" status=\"Resized - (3,3)-(7,7)\">"});
  expectReplies("status_messages(no_resize,movesize);z.move(3,3);z.resize(7,7);z.movesize(9,8,7,6)",
                {"<zone name=\"z\" status=\"MovedResized - (9,8)-(7,6)\">"});
  ZoneRecord record = recordOf(controller, "z");
  EXPECT_EQ(record.x, 9);
  EXPECT_EQ(record.height, 6);
}

TEST_F(LoggedInTest, DeleteReportsUnderTheOldNameThenFreesIt) {
  expectReplies("status_messages(delete);add(z,10,10,20,20);z.delete()",
                {"<zone name=\"z\" status=\"Deleted - (10,10)-(20,20)\">"});
  EXPECT_FALSE(controller.zoneExists("z"));
  EXPECT_TRUE(controller.zoneExists("z-Deleted"));
  expectReplies("z.move(1,1)", {error("Invalid zone or grid name 'z'.")});
  expectReplies("add(z,10,10,5,5);status_messages(move);z.move(1,1)",
                {"<zone name=\"z\" status=\"Moved - (1,1)-(5,5)\">"});
}

TEST_F(LoggedInTest, ZoneTuningPauseAndActivation) {
  expectReplies("sensitivity(60);threshold(30);add(z,10,10,20,20)", {});
  expectReplies("z.sensitivity(90);z.threshold(5)", {});
  ZoneRecord record = recordOf(controller, "z");
  EXPECT_EQ(record.sensitivity, 90);
  EXPECT_EQ(record.threshold, 5);
  // A duplicate takes the defaults, not the original's tuning.
  expectReplies("status_messages(add);z.duplicate(y)",
                {"<zone name=\"y\" status=\"Created - (10,10)-(20,20)\">"});
  EXPECT_EQ(recordOf(controller, "y").sensitivity, 60);
  std::int32_t id = controller.findZone("z");
  expectReplies("z.pause(2.5)", {});
  EXPECT_EQ(recordOf(controller, "z").pauseRemaining, 2500u);
  EXPECT_FALSE(controller.zoneActive(id));
  expectReplies("z.pause(0)", {});
  EXPECT_TRUE(controller.zoneActive(id));
  // A pause too short to count must not leave the zone asleep for good.
  expectReplies("z.pause(0.0001)", {});
  EXPECT_TRUE(controller.zoneActive(id));
  expectReplies("z.pause(-1);z.pause(nan)",
                {error("pause: illegal parameter"), error("pause: illegal parameter")});
  EXPECT_TRUE(controller.zoneActive(id));
  expectReplies("z.pause(1e30)", {});
  EXPECT_EQ(recordOf(controller, "z").pauseRemaining, 4294967295u);
  expectReplies("z.activate(true)", {});
  EXPECT_TRUE(controller.zoneActive(id));
  expectReplies("z.activate(false)", {});
  EXPECT_FALSE(controller.zoneActive(id));
  expectReplies("z.activate(yes)", {error("activate: illegal parameter")});
}

TEST_F(LoggedInTest, CheckZoneDescribesInEitherForm) {
  expectReplies("add(z,10,20,30,40);check_zone(z)",
                {"<zone name=\"z\" status=\"Created\" x=\"10\" y=\"20\" width=\"30\" "
                 "height=\"40\" threshold=\"20\" sensitivity=\"50\">"});
  expectReplies("check_zone(nobody)", {"<zone illegal zone ID>"});
  expectReplies("set_data_type(commands);check_zone(z);check_zone(nobody)",
                {"zone(z, Created, 10, 20, 30, 40, 20, 50);", "zone(illegal zone ID);"});
}

TEST_F(LoggedInTest, GridCreationAndItsErrors) {
  expectReplies("grid(g,0,0,90,90,0,3)", {error("Subdivisions cannot be zero.")});
  EXPECT_FALSE(controller.gridExists("g"));
  expectReplies("status_messages(add);grid(g,0,0,100,100,3,3)",
                {error("Width/Height/Subdivisions don't match exactly, grid truncated."),
                 "<grid name=\"g\" status=\"Created\">"});
  EXPECT_TRUE(controller.zoneExists("g_8"));
  expectReplies("grid(g,0,0,10,10,0,0)", {error("Duplicate grid name 'g'.")});
  // Counts that would create nothing, or billions of zones, are refused.
  expectReplies("grid(n,0,0,90,90,-3,3)", {error("Subdivisions must be positive.")});
  expectReplies("grid(n,0,0,2147483647,2147483647,46340,46340)",
                {error("Too many subdivisions: a grid has at most 19200 cells.")});
  EXPECT_FALSE(controller.gridExists("n"));
  expectReplies("set_data_type(commands);grid(h,0,0,90,60,3,2)", {"h.Created;"});
  EXPECT_EQ(recordOf(controller, "h_5").x, 60);
}

TEST_F(LoggedInTest, GridMethodsApplyToEveryCell) {
  expectReplies("grid(g,10,10,90,90,3,3);g.move(50,50)", {});
  EXPECT_EQ(recordOf(controller, "g_0").x, 50);
  EXPECT_EQ(recordOf(controller, "g_4").y, 80);
  expectReplies("g.resize(100,100)", {});
  EXPECT_EQ(recordOf(controller, "g_8").x, 50 + 66);
  EXPECT_EQ(recordOf(controller, "g_8").width, 33);
  GridRecord grid;
  ASSERT_TRUE(controller.copyGridRecord("g", grid));
  EXPECT_EQ(grid.width, 100);
  expectReplies("g.movesize(0,0,30,30)", {});
  EXPECT_EQ(recordOf(controller, "g_4").x, 10);
  expectReplies("g.sensitivity(77);g.threshold(7);g.pause(1.5)", {});
  EXPECT_EQ(recordOf(controller, "g_3").sensitivity, 77);
  EXPECT_EQ(recordOf(controller, "g_3").threshold, 7);
  EXPECT_EQ(recordOf(controller, "g_3").pauseRemaining, 1500u);
  EXPECT_FALSE(controller.zoneActive(controller.findZone("g_3")));
  expectReplies("g.activate(true)", {});
  EXPECT_TRUE(controller.zoneActive(controller.findZone("g_3")));
  expectReplies("g.activate(1);g.pause(-2)",
                {error("activate: illegal parameter"), error("pause: illegal parameter")});
  expectReplies("g.duplicate(x)", {});  // grids have no duplicate
  expectReplies("g.move(1)", {error("move : Wrong number of parameters.")});
  // No grid method but delete reports anything.
  expectReplies("status_messages(all);g.move(1,1);g.resize(9,9);g.pause(0)", {});
  expectReplies("g.delete()", {"<grid name=\"g\" status=\"Deleted\">"});
  EXPECT_FALSE(controller.gridExists("g"));
  EXPECT_EQ(recordOf(controller, "g_0").status, ZoneStatus::kDeleted);
  expectReplies("g.delete()", {error("Invalid zone or grid name 'g'.")});
}

TEST_F(LoggedInTest, AZoneShadowsAGridOfTheSameName) {
  expectReplies("grid(s,0,0,20,20,2,2);add(s,1,1,5,5);status_messages(delete);s.delete()",
                {"<zone name=\"s\" status=\"Deleted - (1,1)-(5,5)\">"});
  EXPECT_TRUE(controller.gridExists("s"));
  expectReplies("s.delete()", {"<grid name=\"s\" status=\"Deleted\">"});
}

TEST_F(LoggedInTest, EveryZoneMethodNeedsLogin) {
  expectReplies("add(z,1,1,5,5);grid(g,0,0,20,20,2,2);login(out)", {"<login status=\"failed\">"});
  for (std::string_view statement :
       {"z.delete()", "z.move(1,1)", "z.resize(1,1)", "z.movesize(1,1,1,1)", "z.sensitivity(1)",
        "z.threshold(1)", "z.duplicate(y)", "z.pause(1)", "z.activate(true)", "g.delete()",
        "g.move(1,1)", "g.resize(1,1)", "g.movesize(1,1,1,1)", "g.sensitivity(1)",
        "g.threshold(1)", "g.pause(1)", "g.activate(true)"}) {
    expectReplies(statement, {error("Command unavailable, please login.")});
  }
  EXPECT_TRUE(controller.zoneExists("z"));
  EXPECT_TRUE(controller.gridExists("g"));
}

TEST_F(LoggedInTest, HitsFromTheDetectionThreadReachTheClient) {
  expectReplies("add(door,10,10,20,20);add(hall,40,40,20,20)", {});
  std::int32_t door = controller.findZone("door");
  std::int32_t hall = controller.findZone("hall");
  std::thread([&] { regions.fire(door); }).join();
  EXPECT_EQ(client.nextText(), "<hit name=\"door\">");
  expectReplies("set_data_type(commands)", {});
  std::thread([&] { regions.fire(hall); }).join();
  EXPECT_EQ(client.nextText(), "hall.hit();");
  expectReplies("status_messages(no_hit)", {});
  std::thread([&] { regions.fire(door); }).join();
  expectReplies("", {});
}

TEST_F(LoggedInTest, ReconnectClearsZonesAndSettings) {
  expectReplies("add(z,1,1,5,5);grid(g,0,0,20,20,2,2);set_data_type(commands);mirror(true);"
                "blend(1,2,3);status_messages(all);render_area(5,5,10,10)",
                {});
  client.close();
  ASSERT_TRUE(waitUntil([&] {
    interpreter.poll();
    return !interpreter.isLoggedIn();
  }));
  EXPECT_EQ(controller.zoneCount(), 0);
  EXPECT_FALSE(controller.gridExists("g"));
  EXPECT_FALSE(display.overlayMirror);
  EXPECT_EQ(display.blendFactors, kDefaultBlendFactors);
  EXPECT_EQ(display.renderArea, display.wholeScreen());
  EXPECT_EQ(replies.statusMask(), 0x080);
  connectClient();
  logIn();
  // The scale may be set again now that the zones are gone.
  expectReplies("display_size(320,240)", {});
}

}  // namespace
}  // namespace tessary::testing
