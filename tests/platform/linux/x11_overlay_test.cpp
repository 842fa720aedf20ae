#include "platform/linux/x11_overlay.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/frame.h"
#include "support/wait_until.h"
#include "support/x11_key_client.h"
#include "support/xvfb_session.h"

namespace tessary {
namespace {

using testing::KeyClient;
using testing::XvfbSession;
using testing::kGrey;
using namespace std::chrono_literals;

constexpr std::uint32_t kMagenta = 0xFF00FF;
// The camera colour; the watermark leaves the corners of the picture alone.
constexpr std::uint32_t kPicture = 0x1EC83C;

class SolidPictures final : public PictureSource {
 public:
  explicit SolidPictures(std::uint32_t rgb) : frame(kFrameBytes) {
    for (std::size_t i = 0; i < frame.size(); i += 4) {
      for (std::size_t c = 0; c < 3; ++c) frame[i + c] = static_cast<std::uint8_t>(rgb >> (8 * c));
    }
  }
  PictureFrame currentPicture() const override { return PictureFrame{frame, {false, true}}; }
  std::vector<std::uint8_t> frame;
};

struct ErrorReports {
  void report(std::string_view message) { messages.emplace_back(message); }
  MemberCallback<std::string_view> callback() { return MemberCallback<std::string_view>::bind(this, &ErrorReports::report); }
  std::vector<std::string> messages;
};

// Presents frames, as the frame tick does, until the screen at (x, y) is
// close to `colour`.
bool showsAt(X11Overlay& overlay, KeyClient& client, int x, int y, std::uint32_t colour) {
  return testing::waitUntil([&] {
    overlay.overlayPresent();
    client.pump();
    return testing::near(client.screenPixel(x, y), colour);
  }, 10s, 40ms);
}

// A grey client window at (50, 50) with two key areas: A at screen
// (110, 110)-(200, 160), inside the first render area, and B at
// (500, 350)-(600, 410), outside it.
class X11OverlayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<XvfbSession>();
    server_->start(false, false);
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    ASSERT_FALSE(server_->display().empty()) << "Xvfb did not start";
    state.screenWidth = 1024;
    state.screenHeight = 768;
    state.renderArea = ScreenRect{100, 100, 420, 340};
    client = std::make_unique<KeyClient>(server_->display(), ScreenRect{50, 50, 650, 450},
                                         std::vector<ScreenRect>{{60, 60, 150, 110}, {450, 300, 550, 360}},
                                         kMagenta);
    ASSERT_TRUE(client->ok());
    overlay = std::make_unique<X11Overlay>(state, pictures, errors.callback(), server_->display());
    ASSERT_EQ(overlay->overlayInit(), 0);
    EXPECT_TRUE(errors.messages.empty());
    ASSERT_TRUE(shows(120, 120, kPicture));
  }

  bool shows(int x, int y, std::uint32_t colour) { return showsAt(*overlay, *client, x, y, colour); }
  void update() { ASSERT_EQ(overlay->overlayUpdatePosition(), 0); }

  static inline std::unique_ptr<XvfbSession> server_;
  DisplayState state;
  SolidPictures pictures{kPicture};
  ErrorReports errors;
  std::unique_ptr<KeyClient> client;
  std::unique_ptr<X11Overlay> overlay;
};

// Overlay on and off, the new key, clicks and the render area moving are
// checked end to end with the program; here what only this layer sees.
TEST_F(X11OverlayTest, KeyInsideTheClippedRenderAreaFollowsTheClientsPainting) {
  EXPECT_EQ(client->screenPixel(205, 120), kGrey);     // just beside the key area
  EXPECT_EQ(client->screenPixel(550, 380), kMagenta);  // key, but outside the render area
  state.overlayColour = Rgb{0, 0, 255};
  update();
  client->paintKeyAreas(0x0000FF);  // damage reshapes
  EXPECT_TRUE(shows(120, 120, kPicture));
  client->paintKeyAreas(kGrey);
  EXPECT_TRUE(shows(120, 120, kGrey));

  state.renderArea = ScreenRect{-3000, -3000, -10, -10};  // wholly off the screen
  update();
  client->paintKeyAreas(0x0000FF);
  EXPECT_TRUE(shows(120, 120, 0x0000FF));
  overlay->overlayShutdown();
  EXPECT_EQ(overlay->overlayPresent(), -1);
  EXPECT_EQ(overlay->overlayUpdatePosition(), -1);
  overlay->overlayShutdown();  // twice is harmless
}

TEST_F(X11OverlayTest, WindowsAboveHideThePictureUntilTheClientIsRaised) {
  KeyClient popup(server_->display(), ScreenRect{100, 100, 160, 140}, {}, kMagenta, true);
  ASSERT_TRUE(popup.ok());
  EXPECT_TRUE(shows(120, 120, kGrey));     // the popup covers the picture here
  EXPECT_TRUE(shows(180, 150, kPicture));  // and only here
  // Raised over the overlay, the client window is still keyed: the overlay
  // goes back on top.
  client->raise();
  EXPECT_TRUE(shows(120, 120, kPicture));
}

TEST(X11OverlayStartupTest, WorksWithoutSharedMemoryAndReportsMissingExtensionOrServer) {
  XvfbSession noShm("1024x768x24", {"-extension", "MIT-SHM"});
  ASSERT_TRUE(noShm.start(false, false));
  DisplayState state;
  state.renderArea = ScreenRect{0, 0, 1024, 768};
  SolidPictures pictures{kPicture};
  KeyClient client(noShm.display(), ScreenRect{10, 10, 300, 200}, {ScreenRect{20, 20, 120, 90}}, kMagenta);
  ErrorReports errors;
  X11Overlay overlay(state, pictures, errors.callback(), noShm.display());
  ASSERT_EQ(overlay.overlayInit(), 0);
  EXPECT_TRUE(showsAt(overlay, client, 50, 50, kPicture));
  EXPECT_EQ(client.screenPixel(150, 150), kGrey);

  XvfbSession noComposite("1024x768x24", {"-extension", "Composite"});
  ASSERT_TRUE(noComposite.start(false, false));
  X11Overlay plain(state, pictures, errors.callback(), noComposite.display());
  EXPECT_EQ(plain.overlayPresent(), -1);  // before start-up
  EXPECT_LT(plain.overlayInit(), 0);
  EXPECT_EQ(plain.overlayUpdatePosition(), -1);
  X11Overlay nowhere(state, pictures, errors.callback(), "unix:65531");
  EXPECT_LT(nowhere.overlayInit(), 0);
  EXPECT_EQ(nowhere.connectionFd(), -1);
  EXPECT_EQ(errors.messages,
            (std::vector<std::string>{
                "Your hardware doesn't support the overlay surfaces we are trying to create.",
                "Failed to initialize DirectDraw."}));
}

}  // namespace
}  // namespace tessary
