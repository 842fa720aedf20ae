// The setting and query commands.
#include <string>

#include "link/command_fixture.h"
#include "link/watched_window.h"

namespace tessary::testing {
namespace {

TEST_F(LoggedInTest, StatusMessageOptionsApplyLeftToRight) {
  const struct {
    const char* statements;
    std::uint32_t mask;
    std::vector<std::string> answers;
  } cases[] = {
      {"status_messages( )", 0x080, {error("status_messages: illegal call, no parameters")}},
      {"status_messages(none,hit,bogus,add)", 0x090, {error("status_messages: illegal parameter")}},
      {"status_messages(all,no_motion)", 0x0FF, {}},
      {"status_messages(none);status_messages(no_motion,all)", 0x1FF, {}},
      {"status_messages(none,move,,add)", 0x001, {}},  // an empty parameter ends the list
      // The shortcuts touch one bit each.
      {"status_messages(none);zone_movement(true);motion(true)", 0x101, {}},
      {"zone_movement(false);motion(false);zone_movement(yes);motion(yes)", 0x000,
       {error("zone_movement: illegal parameter"), error("motion: illegal parameter")}},
  };
  for (const auto& c : cases) {
    expectReplies(c.statements, c.answers);
    EXPECT_EQ(replies.statusMask(), c.mask) << c.statements;
  }
  expectReplies("status_messages()", {error("status_messages: illegal call, no parameters")});
}

TEST_F(LoggedInTest, ReplyFormMotionDetailMirrorAndFlip) {
  expectReplies("set_data_type(XML);reduced_motion(1)",
                {error("set_data_type: illegal type"), error("reduced_motion: illegal parameter")});
  expectReplies("reduced_motion(false)", {});
  EXPECT_FALSE(replies.reducedMotion());
  expectReplies("mirror(true);flip(true);get_mirror();get_flip()",
                {"<mirror status=\"true\">", "<flip status=\"true\">"});
  expectReplies("set_data_type(commands);check_data_type();flip(false);get_flip();mirror(on);get_mirror()",
                {"data=commands", "flip=false;", "error(mirror: illegal parameter);", "mirror=true;"});
  EXPECT_TRUE(display.overlayMirror);
  EXPECT_FALSE(display.overlayFlip);
}

TEST_F(LoggedInTest, DisplaySizeSetsTheScaleOnlyBeforeZones) {
  expectReplies("display_size(0,480);display_size(640,-1)",
                {error("display_size: width and height must be positive"),
                 error("display_size: width and height must be positive")});
  expectReplies("display_size(640,480)", {});
  EXPECT_FLOAT_EQ(controller.scaleY(), 0.25f);
  // Once a zone exists, even a deleted one, the scale stays.
  expectReplies("add(z,1,1,50,50);z.delete();display_size(320,240)",
                {error("display_size: must be set before any zones are created")});
  EXPECT_FLOAT_EQ(controller.scaleX(), 0.25f);
}

TEST_F(LoggedInTest, RenderAreaAndOverlay) {
  const int before = overlay.updates;
  expectReplies("render_area(100,100,5000,5000);get_render_area();render_area(-50,-50,100,100)",
                {"<render_area x=\"100\" y=\"100\" w=\"924\" h=\"668\">"});
  EXPECT_EQ(display.renderArea, (ScreenRect{-50, -50, 50, 50}));
  // Sums beyond 32 bits neither wrap nor overflow.
  expectReplies("render_area(2147483647,-2147483648,2147483647,-2147483648);"
                "set_data_type(commands);get_render_area();set_data_type(xml)",
                {"render_area(2147483647,-2147483648,-2147482623,0)"});
  expectReplies("overlay(off);overlay(On)", {error("Parameter to overlay() can only be 'on' or 'off'.")});
  EXPECT_FALSE(display.overlayOn);
  expectReplies("overlay_colour(0,0,256);overlay_color(-1,0,0);overlay_color(0,0,255)",
                {error("Parameters to overlay_colour() must be in 0-255 range."),
                 error("Parameters to overlay_colour() must be in 0-255 range.")});
  EXPECT_EQ(display.overlayColour, (Rgb{0, 0, 255}));
  // Blend factors are stored for the next fill; nothing is placed again.
  expectReplies("blend(1,2,3);blend(1,2,300)", {error("Parameters to blend() must be in 0-255 range.")});
  EXPECT_EQ(display.blendFactors, (Rgb{1, 2, 3}));
  EXPECT_EQ(overlay.updates, before + 5);
}

TEST_F(LoggedInTest, DefaultsForNewZonesAndTheLanList) {
  expectReplies("check_sensitivity();check_threshold(0)",
                {"<sensitivity status=\"50\">", "<threshold status=\"20\">"});
  expectReplies("sensitivity(70);threshold(-3);set_data_type(commands);"
                "check_sensitivity();check_threshold(x);set_data_type(xml)",
                {"sensitivity=70", "threshold=-3"});
  // Numbers read like atoi: white space, sign, digits, and saturation.
  expectReplies("sensitivity(\t+12abc);threshold(99999999999)", {});
  EXPECT_EQ(controller.sensitivityDefault(), 12);
  EXPECT_EQ(controller.thresholdDefault(), 2147483647);

  lanNames = {"alpha", "beta"};
  expectReplies("get_lan()", {"<lan content=\"alpha,beta\">"});
  lanNames.assign(40, "machine-0123");  // far beyond a reply: cut at whole names
  const std::vector<std::string> texts = run("set_data_type(commands);get_lan()");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_LE(texts[0].size(), ReplySender::kTextCapacity - 1);
  EXPECT_TRUE(texts[0].ends_with(",machine-0123);")) << texts[0];
}

TEST_F(CommandLinkTest, EveryCommandButFourNeedsLogin) {
  expectReplies("login(secret);add(z,1,1,5,5);grid(g,0,0,20,20,2,2);login(out)",
                {"<login status=\"successful\">", "<login status=\"failed\">"});
  for (std::string_view statement :
       {"watch_border(1,2,3,4)", "flip(true)", "get_mirror()", "status_messages(all)",
        "display_size(1,1)", "render_area(1,1,1,1)", "overlay_color(1,1,1)", "blend(1,1,1)",
        "check_zone(z)", "motion(true)", "add(z,1,1,1,1)", "grid(g,1,1,1,1,1,1)",
        "sensitivity(1)", "get_lan()", "z.delete()", "z.movesize(1,1,1,1)", "z.duplicate(y)",
        "g.delete()", "g.move(1,1)", "g.activate(true)"}) {
    expectReplies(statement, {error("Command unavailable, please login.")});
  }
  EXPECT_EQ(replies.statusMask(), 0x080);
  EXPECT_TRUE(controller.zoneExists("z") && controller.gridExists("g"));
  EXPECT_FALSE(controller.zoneExists("y"));
  expectReplies("set_data_type(commands);watch(false)", {});
}

TEST_F(CommandLinkTest, WatchNeedsNoLoginAndAGoneWindowLeavesTheArea) {
  clientWindow = 42;
  clientWindowRect = ScreenRect{100, 100, 500, 400};
  expectReplies("watch(true);watch(maybe)", {error("watch: illegal parameter")});
  EXPECT_EQ(display.watchedWindow, 42u);
  display.watchBorders = WatchBorders{10, 20, 10, 20};
  const int before = overlay.updates;
  trackWatchedWindow(display, overlay, this);
  EXPECT_EQ(display.renderArea, (ScreenRect{110, 120, 490, 380}));
  windowReadable = false;
  trackWatchedWindow(display, overlay, this);
  trackWatchedWindow(display, overlay, nullptr);
  EXPECT_EQ(display.renderArea, (ScreenRect{110, 120, 490, 380}));
  EXPECT_EQ(overlay.updates, before + 1);
}

}  // namespace
}  // namespace tessary::testing
