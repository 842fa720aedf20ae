// The software overlay end to end under a real window system: a client
// program paints key areas, the overlay follows its watched window, and the
// screen is read back as the user would see it. Screenshots of each step are
// left in the test's working folder (layered_overlay_*.bmp).
#include "platform/windows/layered_overlay.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/frame.h"
#include "link/watched_window.h"
#include "platform/windows/key_client_process.h"
#include "platform/windows/tcp_table_window_locator.h"

namespace tessary {
namespace {

using testing::KeyClientProcess;
using testing::closeTo;
using testing::screenPixel;

constexpr std::uint32_t kMagenta = 0xFF00FF;
constexpr std::uint32_t kGrey = 0x808080;
// The camera colour; the watermark (the middle of the picture) is kept clear
// of the pixels checked.
constexpr std::uint32_t kPicture = 0x1EC83C;

class SolidPictures final : public PictureSource {
 public:
  explicit SolidPictures(std::uint32_t rgb) : frame(kFrameBytes) {
    for (std::size_t i = 0; i < frame.size(); i += 4) {
      for (std::size_t c = 0; c < 3; ++c) frame[i + c] = static_cast<std::uint8_t>(rgb >> (8 * c));
    }
  }
  PictureFrame currentPicture() const override { return PictureFrame{frame, false, true}; }
  std::vector<std::uint8_t> frame;
};

struct ErrorReports {
  void report(std::string_view message) { messages.emplace_back(message); }
  MemberCallback<std::string_view> callback() {
    return MemberCallback<std::string_view>::bind(this, &ErrorReports::report);
  }
  std::vector<std::string> messages;
};

void pumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

// Runs frame ticks, as the program does, until the screen at (x, y) is close
// to `colour`; the overlay may need a few seconds to notice key pixels that
// went away under its picture.
bool showsAt(LayeredOverlay& overlay, int x, int y, std::uint32_t colour) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    overlay.overlayPresent();
    pumpMessages();
    if (closeTo(screenPixel(x, y), colour)) return true;
    Sleep(33);
  }
  std::printf("screen at (%d, %d) shows %06X, not %06X\n", x, y, screenPixel(x, y), colour);
  return false;
}

void screenshot(const char* step) {
  const std::string path = std::string("layered_overlay_") + step + ".bmp";
  EXPECT_TRUE(testing::saveScreenshot(path)) << path;
}

// The client's viewer (its "TPanel" child) is watched: the render area is
// the viewer, (110, 110)-(410, 350), holding the key area (150, 150)-(310, 270);
// the client shows another key area outside the render area at
// (500, 350)-(600, 410).
TEST(LayeredOverlay, ShowsThePictureOnlyOnTheKeyAndFollowsTheWatchedWindow) {
  KeyClientProcess client("panel");
  ASSERT_TRUE(client.ok());
  DisplayState state;
  state.screenWidth = GetSystemMetrics(SM_CXSCREEN);
  state.screenHeight = GetSystemMetrics(SM_CYSCREEN);
  state.renderArea = state.wholeScreen();
  TcpTableWindowLocator locator;
  state.watchedWindow = locator.findClientWindow(client.port(), 0);
  ASSERT_EQ(state.watchedWindow, client.watched());

  SolidPictures pictures{kPicture};
  ErrorReports errors;
  ErrorReports notes;
  LayeredOverlay overlay(state, pictures, errors.callback(), notes.callback());
  ASSERT_EQ(overlay.overlayInit(), 0);
  EXPECT_TRUE(errors.messages.empty());
  // Said once: what the hardware offers, and the presentation in use.
  ASSERT_EQ(notes.messages.size(), 2u);
  std::printf("%s\n%s\n", notes.messages[0].c_str(), notes.messages[1].c_str());
  EXPECT_NE(overlay.presentation(), OverlayPresentation::kNone);
  EXPECT_EQ(notes.messages[1], describePresentation(overlay.presentation()));

  trackWatchedWindow(state, overlay, &locator);
  EXPECT_EQ(state.renderArea, (ScreenRect{110, 110, 410, 350}));
  EXPECT_TRUE(showsAt(overlay, 200, 200, kPicture));
  EXPECT_TRUE(showsAt(overlay, 151, 151, kPicture));
  EXPECT_TRUE(closeTo(screenPixel(145, 200), kGrey)) << "beside the key area, inside the render area";
  EXPECT_TRUE(closeTo(screenPixel(315, 200), kGrey));
  EXPECT_TRUE(closeTo(screenPixel(550, 380), kMagenta)) << "key, but outside the render area";
  screenshot("watched");

  // The client's window moves; the next tracking step takes the overlay along.
  ASSERT_TRUE(client.command("move 200 150"));
  trackWatchedWindow(state, overlay, &locator);
  EXPECT_EQ(state.renderArea, (ScreenRect{260, 210, 560, 450}));
  EXPECT_TRUE(showsAt(overlay, 380, 360, kPicture));
  EXPECT_TRUE(showsAt(overlay, 200, 200, kGrey)) << "nothing left where the key was";
  EXPECT_TRUE(closeTo(screenPixel(295, 360), kGrey));
  screenshot("moved");

  // overlay_colour: a new key, which the client paints.
  state.overlayColour = Rgb{0, 0, 255};
  ASSERT_EQ(overlay.overlayUpdatePosition(), 0);
  ASSERT_TRUE(client.command("key 0000FF"));
  EXPECT_TRUE(showsAt(overlay, 380, 360, kPicture));
  EXPECT_TRUE(closeTo(screenPixel(700, 480), 0x0000FF)) << "the key outside the render area";
  // The client stops painting the key: the picture goes.
  ASSERT_TRUE(client.command("key 808080"));
  EXPECT_TRUE(showsAt(overlay, 380, 360, kGrey));
  screenshot("unkeyed");

  // render_area: watching stops and the area leaves the screen.
  state.watchedWindow = 0;
  state.renderArea = ScreenRect{-3000, -3000, -10, -10};
  ASSERT_EQ(overlay.overlayUpdatePosition(), 0);
  ASSERT_TRUE(client.command("key 0000FF"));
  EXPECT_TRUE(showsAt(overlay, 380, 360, 0x0000FF));
  // And back over part of the client's key area.
  state.renderArea = ScreenRect{300, 300, 400, 400};
  ASSERT_EQ(overlay.overlayUpdatePosition(), 0);
  EXPECT_TRUE(showsAt(overlay, 305, 305, kPicture));
  EXPECT_TRUE(closeTo(screenPixel(420, 350), 0x0000FF));
  screenshot("render_area");

  overlay.overlayShutdown();
  EXPECT_EQ(overlay.overlayPresent(), -1);
  EXPECT_EQ(overlay.overlayUpdatePosition(), -1);
  EXPECT_EQ(overlay.windowHandle(), 0u);
  overlay.overlayShutdown();  // twice is harmless
}

TEST(LayeredOverlay, OverlayOffHidesThePicture) {
  KeyClientProcess client("plain");
  ASSERT_TRUE(client.ok());
  DisplayState state;
  state.screenWidth = GetSystemMetrics(SM_CXSCREEN);
  state.screenHeight = GetSystemMetrics(SM_CYSCREEN);
  state.renderArea = ScreenRect{100, 100, 400, 300};
  SolidPictures pictures{kPicture};
  LayeredOverlay overlay(state, pictures, {});
  ASSERT_EQ(overlay.overlayInit(), 0);
  EXPECT_TRUE(showsAt(overlay, 200, 260, kPicture));
  state.overlayOn = false;
  ASSERT_EQ(overlay.overlayUpdatePosition(), 0);
  EXPECT_TRUE(showsAt(overlay, 200, 260, kMagenta));
  state.overlayOn = true;
  ASSERT_EQ(overlay.overlayUpdatePosition(), 0);
  EXPECT_TRUE(showsAt(overlay, 200, 260, kPicture));
}

}  // namespace
}  // namespace tessary
