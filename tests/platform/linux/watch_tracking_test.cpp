// "watch" end to end below the shell: our own client on a real loopback link
// asks for its window, which this process made on a private X server; the
// slow-tick step then follows the window as another program moves it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "display/display_state.h"
#include "link/command_interpreter.h"
#include "link/reply_sender.h"
#include "link/support/link_fakes.h"
#include "link/support/test_client.h"
#include "link/tcp_command_source.h"
#include "link/tcp_link.h"
#include "link/video_controller_zone_queries.h"
#include "link/watched_window.h"
#include "platform/linux/posix_sockets.h"
#include "platform/linux/private_x_server.h"
#include "platform/linux/x11_window_locator.h"
#include "zones/video_controller.h"

namespace tessary::testing {
namespace {

class PlacementCounter final : public OverlayControl {
 public:
  int overlayInit() override { return 0; }
  int overlayUpdatePosition() override {
    ++placements;
    return 0;
  }
  int overlayPresent() override { return 0; }
  void overlayShutdown() override {}
  int placements = 0;
};

class WatchTrackingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<PrivateXServer>(); }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    if (server_->name().empty()) GTEST_SKIP() << "Xvfb could not be started";
    std::ofstream(codePath_, std::ios::binary | std::ios::trunc) << "secret";
    x_ = XOpenDisplay(server_->name().c_str());
    ASSERT_NE(x_, nullptr);
    window_ = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 100, 100, 400, 300, 0, 0, 0);
    XMapWindow(x_, window_);
    XSync(x_, False);
    display_.screenWidth = 800;
    display_.screenHeight = 600;
    display_.renderArea = display_.wholeScreen();
    locator_ = std::make_unique<X11WindowLocator>(server_->name());
    interpreter_ = std::make_unique<CommandInterpreter>(source_, controller_, replies_, display_, overlay_,
                                                        CommandOptions{locator_.get(), nullptr, codePath_});
    ASSERT_TRUE(client_.connect(link_.port()));
    ASSERT_TRUE(waitUntil([&] { return link_.isConnected(); }));
  }
  void TearDown() override {
    if (x_ != nullptr) XCloseDisplay(x_);
    std::filesystem::remove(codePath_);
  }

  // Sends `text` and lets the interpreter run until `done` holds.
  bool execute(std::string_view text, const std::function<bool()>& done) {
    return client_.send(text) && waitUntil([&] {
             interpreter_->poll();
             return done();
           });
  }

  bool moveWithXdotool(int left, int top) {
    const std::string command = "DISPLAY=" + server_->name() + " xdotool windowmove " +
                                std::to_string(window_) + " " + std::to_string(left) + " " +
                                std::to_string(top);
    return std::system(command.c_str()) == 0;
  }

  ScreenRect trackUntilMoved(ScreenRect from) {
    waitUntil([&] {
      trackWatchedWindow(display_, overlay_, locator_.get());
      return display_.renderArea != from;
    });
    return display_.renderArea;
  }

  static inline std::unique_ptr<PrivateXServer> server_;
  std::string codePath_ = (std::filesystem::temp_directory_path() /
                           ("tessary-watch-" + std::to_string(getpid()) + ".dat"))
                              .string();
  Display* x_ = nullptr;
  Window window_ = 0;

  DisplayState display_;
  PlacementCounter overlay_;
  VideoController controller_;
  VideoControllerZoneQueries queries_{controller_};
  RecordingLinkEvents events_;
  PosixSockets sockets_;
  TcpLink link_{sockets_, events_, 0};
  ReplySender replies_{link_, queries_, display_, overlay_};
  TcpCommandSource source_{link_};
  std::unique_ptr<X11WindowLocator> locator_;
  std::unique_ptr<CommandInterpreter> interpreter_;
  TestClient client_;
};

TEST_F(WatchTrackingTest, OverlayFollowsTheClientsWindowLessTheBorders) {
  ASSERT_TRUE(execute("watch(true)", [&] { return display_.watchedWindow != 0; }));
  EXPECT_EQ(display_.watchedWindow, window_);

  ASSERT_TRUE(execute("login(secret);watch_border(10,20,30,40)",
                      [&] { return display_.watchBorders.bottom == 40; }));
  trackWatchedWindow(display_, overlay_, locator_.get());
  EXPECT_EQ(display_.renderArea, (ScreenRect{110, 120, 470, 360}));

  ASSERT_TRUE(moveWithXdotool(250, 180));
  EXPECT_EQ(trackUntilMoved({110, 120, 470, 360}), (ScreenRect{260, 200, 620, 440}));
  const int placements = overlay_.placements;

  ASSERT_TRUE(execute("watch(false)", [&] { return display_.watchedWindow == 0; }));
  ASSERT_TRUE(moveWithXdotool(0, 0));
  XSync(x_, False);
  trackWatchedWindow(display_, overlay_, locator_.get());
  EXPECT_EQ(display_.renderArea, (ScreenRect{260, 200, 620, 440})) << "watch(false) leaves it where it was";
  EXPECT_EQ(overlay_.placements, placements);
}

}  // namespace
}  // namespace tessary::testing
