#include "platform/linux/x11_overlay.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/frame.h"
#include "x11_overlay_test_support.h"

namespace tessary {
namespace {

using testing::KeyClient;
using testing::XvfbServer;
using testing::kGrey;
using testing::waitUntil;

constexpr std::uint32_t kMagenta = 0xFF00FF;
constexpr std::uint32_t kBlue = 0x0000FF;

class SolidPictures final : public PictureSource {
 public:
  SolidPictures(int red, int green, int blue) : frame(kFrameBytes) {
    for (std::size_t i = 0; i < frame.size(); i += 4) {
      frame[i] = static_cast<std::uint8_t>(blue);
      frame[i + 1] = static_cast<std::uint8_t>(green);
      frame[i + 2] = static_cast<std::uint8_t>(red);
    }
  }
  PictureFrame currentPicture() const override { return PictureFrame{frame, false, true}; }
  std::vector<std::uint8_t> frame;
};

struct ErrorReports {
  void report(std::string_view message) { messages.emplace_back(message); }
  std::vector<std::string> messages;
};

bool near(std::uint32_t pixel, std::uint32_t expected, int tolerance = 10) {
  for (int shift : {0, 8, 16}) {
    const int a = static_cast<int>((pixel >> shift) & 0xFF), b = static_cast<int>((expected >> shift) & 0xFF);
    if (std::abs(a - b) > tolerance) return false;
  }
  return true;
}

// The camera colour; the watermark leaves the corners of the picture alone.
constexpr std::uint32_t kPicture = 0x1EC83C;

// A grey client window at (50, 50) with two key areas: A at screen
// (110, 110)-(200, 160), inside the first render area, and B at
// (500, 350)-(600, 410), outside it.
class X11OverlayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<XvfbServer>(); }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(server_->running()) << "Xvfb did not start";
    state.screenWidth = 1024;
    state.screenHeight = 768;
    state.renderArea = ScreenRect{100, 100, 420, 340};
    client = std::make_unique<KeyClient>(server_->name(), ScreenRect{50, 50, 650, 450},
                                         std::vector<ScreenRect>{{60, 60, 150, 110}, {450, 300, 550, 360}},
                                         kMagenta);
    ASSERT_TRUE(client->ok());
    overlay = std::make_unique<X11Overlay>(state, pictures,
                                           MemberCallback<std::string_view>::bind(&errors, &ErrorReports::report),
                                           server_->name());
    ASSERT_EQ(overlay->overlayInit(), 0);
    EXPECT_TRUE(errors.messages.empty());
  }

  // Presents frames, as the frame tick does, until the screen at (x, y) is
  // close to `colour`.
  bool showsAt(int x, int y, std::uint32_t colour) {
    return waitUntil(
        [&] {
          const auto shot = client->screenshot();
          return !shot.empty() && near(shot[static_cast<std::size_t>(y * client->screenWidth() + x)], colour);
        },
        [&] {
          overlay->overlayPresent();
          client->pump();
        });
  }

  static std::unique_ptr<XvfbServer> server_;
  DisplayState state;
  SolidPictures pictures{0x1E, 0xC8, 0x3C};
  ErrorReports errors;
  std::unique_ptr<KeyClient> client;
  std::unique_ptr<X11Overlay> overlay;
};

std::unique_ptr<XvfbServer> X11OverlayTest::server_;

TEST_F(X11OverlayTest, PictureShowsOnlyWhereTheKeyIsInsideTheRenderArea) {
  EXPECT_TRUE(showsAt(120, 120, kPicture));
  EXPECT_TRUE(showsAt(190, 150, kPicture));
  const auto shot = client->screenshot();
  auto at = [&](int x, int y) { return shot[static_cast<std::size_t>(y * 1024 + x)]; };
  EXPECT_EQ(at(300, 300), kGrey);     // render area, but the client's grey
  EXPECT_EQ(at(205, 120), kGrey);     // just beside the key area
  EXPECT_EQ(at(550, 380), kMagenta);  // key, but outside the render area
}

TEST_F(X11OverlayTest, ColourKeyFollowsTheSettingAndTheClientsPainting) {
  ASSERT_TRUE(showsAt(120, 120, kPicture));
  state.overlayColour = Rgb{0, 0, 255};
  ASSERT_EQ(overlay->overlayUpdatePosition(), 0);
  EXPECT_TRUE(showsAt(120, 120, kMagenta));  // the old key shows itself again

  client->paintKeyAreas(kBlue);  // the client paints the new key; damage reshapes
  EXPECT_TRUE(showsAt(120, 120, kPicture));
  client->paintKeyAreas(kGrey);
  EXPECT_TRUE(showsAt(120, 120, kGrey));
}

TEST_F(X11OverlayTest, OverlayOffHidesAndOnShowsAgain) {
  ASSERT_TRUE(showsAt(120, 120, kPicture));
  state.overlayOn = false;
  ASSERT_EQ(overlay->overlayUpdatePosition(), 0);
  EXPECT_TRUE(showsAt(120, 120, kMagenta));
  state.overlayOn = true;
  ASSERT_EQ(overlay->overlayUpdatePosition(), 0);
  EXPECT_TRUE(showsAt(120, 120, kPicture));
}

TEST_F(X11OverlayTest, RenderAreaMovesThePictureAndIsClippedToTheScreen) {
  ASSERT_TRUE(showsAt(120, 120, kPicture));
  state.renderArea = ScreenRect{480, 330, 2000, 2000};
  ASSERT_EQ(overlay->overlayUpdatePosition(), 0);
  EXPECT_TRUE(showsAt(550, 380, kPicture));
  EXPECT_TRUE(showsAt(120, 120, kMagenta));

  state.renderArea = ScreenRect{-3000, -3000, -10, -10};  // wholly off the screen
  ASSERT_EQ(overlay->overlayUpdatePosition(), 0);
  EXPECT_TRUE(showsAt(550, 380, kMagenta));
}

TEST_F(X11OverlayTest, WindowsAboveHideThePictureUntilTheClientIsRaised) {
  ASSERT_TRUE(showsAt(120, 120, kPicture));
  KeyClient popup(server_->name(), ScreenRect{100, 100, 160, 140}, {}, kMagenta, true);
  ASSERT_TRUE(popup.ok());
  EXPECT_TRUE(showsAt(120, 120, kGrey));     // the popup covers the picture here
  EXPECT_TRUE(showsAt(180, 150, kPicture));  // and only here

  // Raised over the overlay, the client window is still keyed: the overlay
  // goes back on top.
  client->raise();
  EXPECT_TRUE(showsAt(120, 120, kPicture));
}

TEST_F(X11OverlayTest, ClicksOnThePictureReachTheClient) {
  ASSERT_TRUE(showsAt(150, 130, kPicture));
  const std::string command = "DISPLAY=" + server_->name() + " xdotool mousemove 150 130 click 1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(waitUntil([&] { return client->clicksOnKeyArea(0) == 1; }, [&] { client->pump(); }));
}

TEST_F(X11OverlayTest, ShutdownRemovesTheOverlay) {
  ASSERT_TRUE(showsAt(120, 120, kPicture));
  EXPECT_NE(overlay->connectionFd(), -1);
  overlay->overlayShutdown();
  EXPECT_EQ(overlay->windowId(), 0u);
  EXPECT_EQ(overlay->overlayPresent(), -1);
  EXPECT_EQ(overlay->overlayUpdatePosition(), -1);
  EXPECT_TRUE(showsAt(120, 120, kMagenta));
  overlay->overlayShutdown();  // twice is harmless
}

TEST(X11OverlayWithoutSharedMemoryTest, PictureStillShows) {
  XvfbServer server({"-extension", "MIT-SHM"});
  ASSERT_TRUE(server.running());
  DisplayState state;
  state.renderArea = ScreenRect{0, 0, 1024, 768};
  SolidPictures pictures{0x1E, 0xC8, 0x3C};
  KeyClient client(server.name(), ScreenRect{10, 10, 300, 200}, {ScreenRect{20, 20, 120, 90}}, kMagenta);
  X11Overlay overlay(state, pictures, {}, server.name());
  ASSERT_EQ(overlay.overlayInit(), 0);
  EXPECT_TRUE(waitUntil(
      [&] {
        const auto shot = client.screenshot();
        return near(shot.at(50 * 1024 + 50), kPicture) && shot.at(150 * 1024 + 150) == kGrey;
      },
      [&] { overlay.overlayPresent(); }));
}

TEST(X11OverlayStartupTest, MissingExtensionOrServerIsReportedOnce) {
  DisplayState state;
  SolidPictures pictures{0, 0, 0};
  ErrorReports errors;
  const auto report = MemberCallback<std::string_view>::bind(&errors, &ErrorReports::report);

  XvfbServer plain({"-extension", "Composite"});
  ASSERT_TRUE(plain.running());
  X11Overlay overlay(state, pictures, report, plain.name());
  EXPECT_EQ(overlay.overlayPresent(), -1);  // before start-up
  EXPECT_LT(overlay.overlayInit(), 0);
  ASSERT_EQ(errors.messages.size(), 1u);
  EXPECT_EQ(errors.messages[0],
            "Your hardware doesn't support the overlay surfaces we are trying to create.");
  EXPECT_EQ(overlay.overlayUpdatePosition(), -1);
  EXPECT_EQ(overlay.overlayPresent(), -1);

  X11Overlay nowhere(state, pictures, report, "unix:65531");
  EXPECT_LT(nowhere.overlayInit(), 0);
  ASSERT_EQ(errors.messages.size(), 2u);
  EXPECT_EQ(errors.messages[1], "Failed to initialize DirectDraw.");
  EXPECT_EQ(nowhere.connectionFd(), -1);
}

}  // namespace
}  // namespace tessary
