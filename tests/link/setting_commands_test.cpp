// The setting and query commands, over a real loopback connection.
#include <string>

#include "link/command_fixture.h"

namespace tessary::testing {
namespace {

std::string error(std::string_view text) { return "<error content=\"" + std::string(text) + "\">"; }

TEST_F(LoggedInTest, StatusMessageOptionsApplyLeftToRight) {
  expectReplies("status_messages()", {error("status_messages: illegal call, no parameters")});
  expectReplies("status_messages( )", {error("status_messages: illegal call, no parameters")});
  EXPECT_EQ(replies.statusMask(), 0x080);
  expectReplies("status_messages(none,hit,bogus,add)", {error("status_messages: illegal parameter")});
  EXPECT_EQ(replies.statusMask(), 0x090);
  expectReplies("status_messages(all,no_motion)", {});
  EXPECT_EQ(replies.statusMask(), 0x0FF);
  expectReplies("status_messages(none);status_messages(no_motion,all)", {});
  EXPECT_EQ(replies.statusMask(), 0x1FF);
  // An empty parameter ends the list.
  expectReplies("status_messages(none,move,,add)", {});
  EXPECT_EQ(replies.statusMask(), 0x001);
  // The shortcuts touch one bit each.
  expectReplies("status_messages(none);zone_movement(true);motion(true)", {});
  EXPECT_EQ(replies.statusMask(), 0x101);
  expectReplies("zone_movement(false);motion(false)", {});
  EXPECT_EQ(replies.statusMask(), 0x000);
  expectReplies("zone_movement(yes)", {error("zone_movement: illegal parameter")});
  expectReplies("motion(yes)", {error("motion: illegal parameter")});
}

TEST_F(LoggedInTest, ReplyFormAndMotionDetail) {
  expectReplies("set_data_type(XML)", {error("set_data_type: illegal type")});
  expectReplies("set_data_type(commands);check_data_type()", {"data=commands"});
  expectReplies("set_data_type(xml);check_data_type()", {"<data status=\"xml\">"});
  expectReplies("reduced_motion(false)", {});
  EXPECT_FALSE(replies.reducedMotion());
  expectReplies("reduced_motion(true)", {});
  EXPECT_TRUE(replies.reducedMotion());
  expectReplies("reduced_motion(1)", {error("reduced_motion: illegal parameter")});
}

TEST_F(LoggedInTest, MirrorAndFlipAreStoredAndReported) {
  expectReplies("mirror(true);flip(true);get_mirror();get_flip()",
                {"<mirror status=\"true\">", "<flip status=\"true\">"});
  expectReplies("set_data_type(commands);flip(false);get_flip();mirror(on)",
                {"flip=false;", "error(mirror: illegal parameter);"});
  EXPECT_TRUE(display.overlayMirror);
  EXPECT_FALSE(display.overlayFlip);
}

TEST_F(LoggedInTest, DisplaySizeSetsTheScaleOnlyBeforeZones) {
  expectReplies("display_size(0,480)", {error("display_size: width and height must be positive")});
  expectReplies("display_size(640,-1)", {error("display_size: width and height must be positive")});
  expectReplies("display_size(640,480)", {});
  EXPECT_FLOAT_EQ(controller.scaleX(), 0.25f);
  EXPECT_FLOAT_EQ(controller.scaleY(), 0.25f);
  // Once a zone exists, even a deleted one, the scale stays.
  expectReplies("add(z,1,1,50,50);z.delete();display_size(320,240)",
                {error("display_size: must be set before any zones are created")});
  EXPECT_FLOAT_EQ(controller.scaleX(), 0.25f);
}

TEST_F(LoggedInTest, RenderAreaIsLimitedToTheScreenOnTheRightAndBottom) {
  int before = overlay.updates;
  expectReplies("render_area(100,100,5000,5000);get_render_area()",
                {"<render_area x=\"100\" y=\"100\" w=\"924\" h=\"668\">"});
  EXPECT_EQ(display.renderArea, (ScreenRect{100, 100, 1024, 768}));
  expectReplies("render_area(-50,-50,100,100)", {});
  EXPECT_EQ(display.renderArea, (ScreenRect{-50, -50, 50, 50}));
  // Sums beyond 32 bits neither wrap nor overflow.
  expectReplies("render_area(2147483647,-2147483648,2147483647,-2147483648)", {});
  EXPECT_EQ(display.renderArea, (ScreenRect{2147483647, -2147483647 - 1, 1024, -2147483647 - 1}));
  expectReplies("set_data_type(commands);get_render_area()",
                {"render_area(2147483647,-2147483648,-2147482623,0)"});
  EXPECT_EQ(overlay.updates, before + 3);
}

TEST_F(LoggedInTest, OverlaySwitchAndColours) {
  int before = overlay.updates;
  expectReplies("overlay(off)", {});
  EXPECT_FALSE(display.overlayOn);
  expectReplies("overlay(On)", {error("Parameter to overlay() can only be 'on' or 'off'.")});
  expectReplies("overlay(on)", {});
  EXPECT_TRUE(display.overlayOn);
  expectReplies("overlay_colour(0,0,256)",
                {error("Parameters to overlay_colour() must be in 0-255 range.")});
  expectReplies("overlay_color(-1,0,0)",
                {error("Parameters to overlay_colour() must be in 0-255 range.")});
  EXPECT_EQ(display.overlayColour, kDefaultOverlayColour);
  expectReplies("overlay_color(0,0,255)", {});
  EXPECT_EQ(display.overlayColour, (Rgb{0, 0, 255}));
  EXPECT_EQ(overlay.updates, before + 3);
  // Blend factors are stored for the next fill; nothing is placed again.
  expectReplies("blend(1,2,3)", {});
  EXPECT_EQ(display.blendFactors, (Rgb{1, 2, 3}));
  expectReplies("blend(1,2,300)", {error("Parameters to blend() must be in 0-255 range.")});
  EXPECT_EQ(display.blendFactors, (Rgb{1, 2, 3}));
  EXPECT_EQ(overlay.updates, before + 3);
}

TEST_F(LoggedInTest, DefaultsForNewZones) {
  expectReplies("check_sensitivity();check_threshold(0)",
                {"<sensitivity status=\"50\">", "<threshold status=\"20\">"});
  expectReplies("sensitivity(70);threshold(-3);set_data_type(commands);"
                "check_sensitivity();check_threshold(x)",
                {"sensitivity=70", "threshold=-3"});
  // Numbers read like atoi: white space, sign, digits, and saturation.
  expectReplies("sensitivity(\t+12abc);threshold(99999999999)", {});
  EXPECT_EQ(controller.sensitivityDefault(), 12);
  EXPECT_EQ(controller.thresholdDefault(), 2147483647);
}

TEST_F(LoggedInTest, LanListIsCutAtWholeNames) {
  expectReplies("get_lan()", {"<lan content=\"\">"});
  lan.names_ = {"alpha", "beta"};
  expectReplies("get_lan()", {"<lan content=\"alpha,beta\">"});
  lan.names_.assign(40, "machine-0123");  // 40 x 13 bytes is far beyond a reply
  std::vector<std::string> texts = run("set_data_type(commands);get_lan()");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_LE(texts[0].size(), ReplySender::kTextCapacity - 1);
  EXPECT_EQ(texts[0].substr(texts[0].size() - 15), ",machine-0123);");
}

TEST_F(CommandLinkTest, EverySettingCommandNeedsLoginButTwo) {
  for (std::string_view statement :
       {"watch_border(1,2,3,4)", "flip(true)", "get_flip()", "mirror(true)", "get_mirror()",
        "zone_movement(true)", "status_messages(all)", "display_size(1,1)",
        "render_area(1,1,1,1)", "get_render_area()", "overlay(on)", "overlay_colour(1,1,1)",
        "overlay_color(1,1,1)", "blend(1,1,1)", "check_data_type()", "check_zone(z)",
        "motion(true)", "reduced_motion(true)", "add(z,1,1,1,1)", "grid(g,1,1,1,1,1,1)",
        "sensitivity(1)", "check_sensitivity()", "threshold(1)", "check_threshold(1)",
        "get_lan()"}) {
    expectReplies(statement, {error("Command unavailable, please login.")});
  }
  EXPECT_EQ(replies.statusMask(), 0x080);
  EXPECT_EQ(controller.zoneCount(), 0);
  expectReplies("set_data_type(commands);watch(false)", {});
}

TEST_F(CommandLinkTest, WatchFollowsTheClientWindow) {
  locator.found = 42;
  locator.rect = ScreenRect{100, 100, 500, 400};
  expectReplies("watch(true)", {});  // needs no login
  EXPECT_EQ(display.watchedWindow, 42u);
  EXPECT_EQ(locator.askedPort, link.port());
  expectReplies("watch(maybe)", {error("watch: illegal parameter")});
  logIn();
  expectReplies("watch_border(10,20,10,20)", {});
  int before = overlay.updates;
  trackWatchedWindow(display, overlay, &locator);
  EXPECT_EQ(display.renderArea, (ScreenRect{110, 120, 490, 380}));
  EXPECT_EQ(overlay.updates, before + 1);
  // A window that cannot be read leaves the area where it was.
  locator.readable = false;
  trackWatchedWindow(display, overlay, &locator);
  EXPECT_EQ(display.renderArea, (ScreenRect{110, 120, 490, 380}));
  EXPECT_EQ(overlay.updates, before + 1);
  // watch(false) stops the tracking and keeps the last area.
  locator.readable = true;
  expectReplies("watch(false)", {});
  EXPECT_EQ(display.watchedWindow, 0u);
  trackWatchedWindow(display, overlay, &locator);
  EXPECT_EQ(display.renderArea, (ScreenRect{110, 120, 490, 380}));
  // Without a locator there is nothing to find or follow.
  trackWatchedWindow(display, overlay, nullptr);
  EXPECT_EQ(overlay.updates, before + 1);
}

TEST_F(CommandLinkTest, ASearchThatFindsNothingKeepsTheWatchedWindow) {
  display.watchedWindow = 7;
  expectReplies("watch(true)", {});
  EXPECT_EQ(display.watchedWindow, 7u);
}

}  // namespace
}  // namespace tessary::testing
