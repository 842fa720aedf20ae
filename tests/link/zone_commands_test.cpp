// Zone and grid commands with their status messages, hits, and the reset.
#include <string>
#include <thread>

#include "link/command_fixture.h"

namespace tessary::testing {
namespace {

class ZoneCommandsTest : public LoggedInTest {
 protected:
  std::string summary(std::string_view name) { return std::string(controller.zoneSummaryText(name)); }
  std::uint32_t pauseLeft(std::string_view name) {
    ZoneRecord record;
    EXPECT_TRUE(controller.copyZoneRecord(name, record)) << name;
    return record.pauseRemaining;
  }
  bool active(std::string_view name) { return controller.zoneActive(controller.findZone(name)); }
};

TEST_F(ZoneCommandsTest, AddReportsOnlyWhenAsked) {
  expectReplies("display_size(320,240);add(door,100,50,200,100)", {});
  expectReplies("add(door,1,1,1,1)", {error("Duplicate zone name 'door'.")});
  expectReplies("status_messages(add);add(hall,100,50,200,100);check_zone(hall);check_zone(no)",
                {"<zone name=\"hall\" status=\"Created - (50,25)-(100,50)\">",
                 "<zone name=\"hall\" status=\"Created\" x=\"100\" y=\"50\" width=\"200\" "
                 "height=\"100\" threshold=\"20\" sensitivity=\"50\">",
                 "<zone illegal zone ID>"});
  expectReplies("set_data_type(commands);add(yard,0,0,20,20);check_zone(yard);check_zone(no)",
                {"yard.Created - (0,0)-(10,10);", "zone(yard, Created, 0, 0, 20, 20, 20, 50);",
                 "zone(illegal zone ID);"});
}

TEST_F(ZoneCommandsTest, MoveResizeAndMoveSizeEachHaveTheirOwnBit) {
  expectReplies("add(z,10,10,20,20);z.move(30,30);z.resize(5,5);z.movesize(1,2,3,4)", {});
  expectReplies("status_messages(move);z.move(40,40);z.resize(6,6);z.movesize(1,1,2,2)",
                {"<zone name=\"z\" status=\"Moved - (40,40)-(3,4)\">"});
  expectReplies("status_messages(no_move,resize);z.move(3,3);z.resize(7,7);z.movesize(1,1,2,2)",
                {"<zone name=\"z\" status=\"Resized - (3,3)-(7,7)\">"});
  expectReplies("status_messages(no_resize,movesize);z.move(3,3);z.resize(7,7);z.movesize(9,8,7,6)",
                {"<zone name=\"z\" status=\"MovedResized - (9,8)-(7,6)\">"});
  EXPECT_EQ(summary("z"), "z, MovedResized, 9, 8, 7, 6, 20, 50");
}

TEST_F(ZoneCommandsTest, DeleteReportsUnderTheOldNameThenFreesIt) {
  expectReplies("status_messages(delete);add(z,10,10,20,20);z.delete()",
                {"<zone name=\"z\" status=\"Deleted - (10,10)-(20,20)\">"});
  EXPECT_TRUE(controller.zoneExists("z-Deleted"));
  expectReplies("z.move(1,1)", {error("Invalid zone or grid name 'z'.")});
  expectReplies("add(z,10,10,5,5);status_messages(move);z.move(1,1)",
                {"<zone name=\"z\" status=\"Moved - (1,1)-(5,5)\">"});
  // A zone shadows a grid of the same name.
  expectReplies("grid(s,0,0,20,20,2,2);add(s,1,1,5,5);s.delete();s.delete()",
                {"<zone name=\"s\" status=\"Deleted - (1,1)-(5,5)\">",
                 "<grid name=\"s\" status=\"Deleted\">"});
}

TEST_F(ZoneCommandsTest, TuningDuplicatePauseAndActivation) {
  expectReplies("sensitivity(60);threshold(30);add(z,10,10,20,20);z.sensitivity(90);z.threshold(5)",
                {});
  EXPECT_EQ(summary("z"), "z, Created, 10, 10, 20, 20, 5, 90");
  // A duplicate takes the defaults, not the original's tuning.
  expectReplies("status_messages(add);z.duplicate(y)",
                {"<zone name=\"y\" status=\"Created - (10,10)-(20,20)\">"});
  EXPECT_EQ(summary("y"), "y, Created, 10, 10, 20, 20, 30, 60");
  expectReplies("z.pause(2.5)", {});
  EXPECT_EQ(pauseLeft("z"), 2500u);
  EXPECT_FALSE(active("z"));
  // A pause too short to count must not leave the zone asleep for good.
  expectReplies("z.pause(0.0001);z.pause(-1);z.pause(nan)",
                {error("pause: illegal parameter"), error("pause: illegal parameter")});
  EXPECT_TRUE(active("z"));
  expectReplies("z.pause(1e30)", {});
  EXPECT_EQ(pauseLeft("z"), 4294967295u);
  expectReplies("z.activate(true)", {});
  EXPECT_TRUE(active("z"));
  expectReplies("z.activate(false);z.activate(yes)", {error("activate: illegal parameter")});
  EXPECT_FALSE(active("z"));
}

TEST_F(ZoneCommandsTest, GridCreationAndItsErrors) {
  expectReplies("grid(g,0,0,90,90,0,3)", {error("Subdivisions cannot be zero.")});
  expectReplies("status_messages(add);grid(g,0,0,100,100,3,3)",
                {error("Width/Height/Subdivisions don't match exactly, grid truncated."),
                 "<grid name=\"g\" status=\"Created\">"});
  EXPECT_TRUE(controller.zoneExists("g_8"));
  expectReplies("grid(g,0,0,10,10,0,0)", {error("Duplicate grid name 'g'.")});
  // Counts that would create nothing, or billions of zones, are refused.
  expectReplies("grid(n,0,0,90,90,-3,3);grid(n,0,0,2147483647,2147483647,46340,46340)",
                {error("Subdivisions must be positive."),
                 error("Too many subdivisions: a grid has at most 19200 cells.")});
  EXPECT_FALSE(controller.gridExists("n"));
  expectReplies("set_data_type(commands);grid(h,0,0,90,60,3,2)", {"h.Created;"});
  EXPECT_EQ(summary("h_5"), "h_5, Created, 60, 30, 30, 30, 20, 50");
}

TEST_F(ZoneCommandsTest, GridMethodsApplyToEveryCell) {
  expectReplies("grid(g,10,10,90,90,3,3);g.move(50,50);g.resize(100,100);"
                "g.movesize(0,0,30,30);g.sensitivity(77);g.threshold(7);g.pause(1.5)", {});
  EXPECT_EQ(summary("g_4"), "g_4, Invalid, 10, 10, 10, 10, 7, 77");
  EXPECT_EQ(pauseLeft("g_3"), 1500u);
  expectReplies("g.activate(true);g.activate(1);g.pause(-2);g.duplicate(x);g.move(1)",
                {error("activate: illegal parameter"), error("pause: illegal parameter"),
                 error("move : Wrong number of parameters.")});  // grids have no duplicate
  EXPECT_TRUE(active("g_3"));
  // No grid method but delete reports anything.
  expectReplies("status_messages(all);g.move(1,1);g.resize(9,9);g.pause(0);g.delete();g.delete()",
                {"<grid name=\"g\" status=\"Deleted\">", error("Invalid zone or grid name 'g'.")});
  EXPECT_TRUE(summary("g_0").starts_with("g_0, Deleted,")) << summary("g_0");
}

TEST_F(ZoneCommandsTest, HitsFromTheDetectionThreadReachTheClient) {
  expectReplies("add(door,10,10,20,20);add(hall,40,40,20,20)", {});
  // A detection pass's hits, as the controller hands them to its outputs.
  const auto pass = [&](std::vector<std::string_view> names) {
    std::vector<ZoneHit> hits;
    for (std::string_view name : names) hits.push_back({controller.findZone(name), name});
    std::thread([&] { controller.eventSinks().deliver(ZoneEventBatch{hits}); }).join();
  };
  pass({"door"});
  EXPECT_EQ(client.nextText(), "<hit name=\"door\">");
  expectReplies("set_data_type(commands)", {});
  pass({"door", "hall"});
  EXPECT_EQ(client.nextText(), "door.hit();");
  EXPECT_EQ(client.nextText(), "hall.hit();");
  expectReplies("status_messages(no_hit)", {});
  pass({"door"});
  expectReplies("", {});
}

TEST_F(ZoneCommandsTest, ANewClientFindsNoZonesNoSettingsAndNoLogin) {
  expectReplies("add(z,1,1,5,5);grid(g,0,0,20,20,2,2);set_data_type(commands);mirror(true);"
                "flip(true);blend(1,2,3);status_messages(all);render_area(5,5,10,10);"
                "reduced_motion(false);watch_border(1,2,3,4)",
                {});
  client.close();
  ASSERT_TRUE(waitUntil([&] {
    interpreter.poll();
    return !interpreter.isLoggedIn();
  }));
  EXPECT_EQ(controller.zoneCount(), 0);
  EXPECT_FALSE(controller.gridExists("g"));
  EXPECT_FALSE(display.overlayMirror || display.overlayFlip || !replies.reducedMotion());
  EXPECT_EQ(display.watchBorders, WatchBorders{});
  EXPECT_EQ(display.blendFactors, kDefaultBlendFactors);
  EXPECT_EQ(display.renderArea, display.wholeScreen());
  EXPECT_EQ(replies.statusMask(), 0x080);
  // XML replies and a login again; the scale may be set again.
  connectClient();
  expectReplies("check_data_type()", {error("Command unavailable, please login.")});
  logIn();
  expectReplies("display_size(320,240)", {});
}

}  // namespace
}  // namespace tessary::testing
