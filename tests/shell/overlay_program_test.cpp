// The overlay and the watched window end to end: the built program on a
// private Xvfb, fed a uniform picture by the raw camera, and this process as
// its client, with a grey window of its own carrying key-coloured areas.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "shell/program_under_test.h"
#include "support/child_process.h"
#include "support/outside_programs.h"
#include "support/test_client.h"
#include "support/x11_key_client.h"
#include "support/xvfb_session.h"

namespace tessary {
namespace {

using namespace tessary::testing;

constexpr std::uint32_t kMagenta = 0xFF00FF;
// The camera's one colour: mirrored or flipped, the picture looks the same.
constexpr std::uint32_t kPicture = 0x1EC83C;

std::string uniformPicture() {
  std::string frame;
  for (int i = 0; i < 160 * 120; ++i) frame += std::string{'\x3C', '\xC8', '\x1E', '\0'};  // BGRX
  return frame;
}

class OverlayProgramTest : public ProgramFixture {
 protected:
  static void SetUpTestSuite() {
    const std::string missing = missingPrograms({"xdotool"});
    ASSERT_TRUE(missing.empty()) << missing;
    ASSERT_TRUE(session_->start(false, false)) << "the private X server did not start";
  }
  static void TearDownTestSuite() { session_.reset(); }

  // Our window first: the server resets while it has no clients.
  void start(ScreenRect frame, std::vector<ScreenRect> keyAreas) {
    window_ = std::make_unique<KeyClient>(session_->display(), frame, std::move(keyAreas), kMagenta);
    ASSERT_TRUE(window_->ok());
    ASSERT_TRUE(writeFile(rawFile_, uniformPicture()));
    useDisplay(session_->display());
    const unsigned port = startProgram(
        program_, {"--camera", "raw:" + rawFile_, "--code-file", codeFile_, "--port", "0", "--web-port", "0"},
        environment(), 30s);
    ASSERT_NO_FATAL_FAILURE(logIn(link_, port)) << program_.errorOutput();
  }

  void TearDown() override {
    link_.close();
    if (program_.pid() <= 0) return;
    program_.signal(SIGTERM);
    EXPECT_EQ(program_.wait(10s), 0) << program_.errorOutput();
  }

  // Waits until every listed screen point is close to its colour.
  bool shows(const std::vector<std::pair<int, int>>& points, std::uint32_t colour) {
    return waitUntil(
        [&] {
          window_->pump();
          for (auto [x, y] : points) {
            if (!near(window_->screenPixel(x, y), colour)) return false;
          }
          return true;
        },
        10s, 40ms);
  }

  bool renderAreaIs(const std::string& expected) {
    return waitUntil(
        [&] {
          link_.send("get_render_area()");
          return link_.waitFor(expected, 300ms);
        },
        5s, 40ms);
  }

  static inline std::unique_ptr<XvfbSession> session_ = std::make_unique<XvfbSession>();
  std::string rawFile_ = files_.file("picture.raw");
  std::unique_ptr<KeyClient> window_;
  ChildProcess program_;
  TestClient link_;
};

// Key area A covers screen (100, 100)-(300, 250), B (700, 600)-(900, 740).
// The sample points sit near the render area's corners, where the watermark
// never reaches, whichever way the picture is turned.
TEST_F(OverlayProgramTest, PictureShowsOnlyInTheKeyColourInsideTheRenderArea) {
  ASSERT_NO_FATAL_FAILURE(start({50, 50, 950, 750}, {{50, 50, 250, 200}, {650, 550, 850, 690}}));
  const std::vector<std::pair<int, int>> inA{{105, 105}, {120, 110}}, inB{{890, 730}, {880, 720}};
  ASSERT_TRUE(shows(inA, kPicture)) << program_.errorOutput();
  ASSERT_TRUE(shows(inB, kPicture));
  // Everywhere else in the window, the client's own grey (on a fine grid).
  int wrong = 0;
  for (int y = 50; y < 750; y += 9) {
    for (int x = 50; x < 950; x += 9) {
      const bool inKey = (x >= 100 && x < 300 && y >= 100 && y < 250) || (x >= 700 && x < 900 && y >= 600 && y < 740);
      if (!inKey && window_->screenPixel(x, y) != kGrey) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0);
  // The picture takes no clicks: they reach the client's window beneath.
  ASSERT_TRUE(runTool({programPath("xdotool"), "mousemove", "150", "150", "click", "1"}, session_->display()));
  EXPECT_TRUE(waitUntil([&] {
    window_->pump();
    return window_->clicksOnKeyArea(0) == 1;
  }, 10s, 40ms));

  link_.send("overlay_colour(0,0,255)");
  EXPECT_TRUE(shows(inA, kMagenta)) << "the old key must no longer show the picture";
  link_.send("overlay_colour(255,0,255)");
  ASSERT_TRUE(shows(inA, kPicture));
  link_.send("overlay(off)");
  EXPECT_TRUE(shows(inA, kMagenta));
  EXPECT_TRUE(shows(inB, kMagenta));
  link_.send("overlay(on)");
  ASSERT_TRUE(shows(inA, kPicture));

  link_.send("render_area(600,500,300,250)");
  EXPECT_TRUE(shows(inB, kPicture));
  EXPECT_TRUE(shows(inA, kMagenta));
  for (const std::string& message : link_.seen()) EXPECT_FALSE(message.starts_with("<error")) << message;
}

// A window wholly in the key colour: the picture fills it less the insets.
TEST_F(OverlayProgramTest, WatchedWindowCarriesTheOverlayLessTheBorders) {
  ASSERT_NO_FATAL_FAILURE(start({100, 100, 500, 400}, {{0, 0, 400, 300}}));
  link_.send("watch(maybe)");
  EXPECT_TRUE(link_.waitFor("<error content=\"watch: illegal parameter\">", 5s));

  link_.send("watch_border(10,20,30,40);watch(true)");
  ASSERT_TRUE(renderAreaIs("<render_area x=\"110\" y=\"120\" w=\"360\" h=\"240\">"));
  EXPECT_TRUE(shows({{112, 122}, {467, 357}}, kPicture)) << program_.errorOutput();
  EXPECT_TRUE(shows({{105, 105}, {495, 395}}, kMagenta));

  const std::string id = std::to_string(window_->window());
  ASSERT_TRUE(runTool({programPath("xdotool"), "windowmove", "--sync", id, "500", "350"},
                      session_->display()));
  EXPECT_TRUE(renderAreaIs("<render_area x=\"510\" y=\"370\" w=\"360\" h=\"240\">"));
  EXPECT_TRUE(shows({{512, 372}, {867, 607}}, kPicture));
  EXPECT_TRUE(shows({{505, 355}, {895, 645}}, kMagenta));

  // Unwatched, the render area stays where the window left it.
  link_.send("watch(false)");
  ASSERT_TRUE(runTool({programPath("xdotool"), "windowmove", "--sync", id, "50", "50"},
                      session_->display()));
  link_.collect(1200ms);
  EXPECT_TRUE(renderAreaIs("<render_area x=\"510\" y=\"370\" w=\"360\" h=\"240\">"));
}

}  // namespace
}  // namespace tessary
