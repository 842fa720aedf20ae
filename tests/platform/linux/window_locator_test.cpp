// The client's process over real loopback sockets, and its windows under a
// private Xvfb. ("watch" end to end runs with the program in the shell tests.)
// GoogleTest before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "link/support/link_fakes.h"
#include "support/test_client.h"
#include "link/tcp_link.h"
#include "platform/linux/posix_sockets.h"
#include "platform/linux/proc_net_tcp.h"
#include "platform/linux/x11_window_locator.h"
#include "support/xvfb_session.h"

namespace tessary::testing {
namespace {

std::string row(std::string local, std::string remote, std::string state, std::string inode) {
  return "   0: " + local + " " + remote + " " + state +
         " 00000000:00000000 00:00000000 00000000  1000        0 " + inode + " 1 0000000000000000 20 4\n";
}

std::vector<std::string> describe(const std::vector<ConnectionRow>& rows) {
  std::vector<std::string> result;
  for (const ConnectionRow& r : rows) {
    result.push_back(std::to_string(r.established) + " " + std::to_string(r.localPort) + ">" +
                     std::to_string(r.remotePort) + " #" + std::to_string(r.owner));
  }
  return result;
}

TEST(ProcNetTcp, ReadsIpv4AndIpv6RowsAndSkipsLinesThatDoNotParse) {
  const std::string text =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n" +
      row("00000000:0868", "00000000:0000", "0A", "51234") + row("0100007F:9C40", "0100007F:0868", "01", "51240") +
      row("0100007F:9C41", "0100007F:0868", "06", "0") +  // closing, no owner
      row("00000000000000000000000001000000:A410", "00000000000000000000000001000000:0868", "01", "98765") +
      "\n   0: 0100007F:9C40 0100007F:0868 01 00000000:00000000 00:00000000 00000000 1000 0\n" +  // short
      row("0100007G:9C40", "0100007F:0868", "01", "7") + row("0100007F:19C40", "0100007F:0868", "01", "7") +
      row("0100007F", "0100007F:0868", "01", "7") + row("0100007F:9C40", "0100007F:0868", "01", "-7") +
      row("0100007F:9C40", "0100007F:0868", "01", "99999999999999999999") +
      "\t8:\t0100007F:0001\t0100007F:0868\t01 00000000:00000000 00:00000000 00000000 1000 0 8";  // no end
  EXPECT_EQ(describe(parseProcNetTcp(text)),
            (std::vector<std::string>{"0 2152>0 #51234", "1 40000>2152 #51240", "0 40001>2152 #0",
                                      "1 42000>2152 #98765", "1 1>2152 #8"}));
}

class ClientProcessTest : public ::testing::Test {
 protected:
  RecordingLinkEvents events_;
  PosixSockets sockets_;
  TcpLink link_{sockets_, events_, 0};
};

TEST_F(ClientProcessTest, OwnClientIsFoundButNotAnEarlierOneClosingItsEnd) {
  EXPECT_EQ(findClientProcess(link_.port()), -1) << "listening alone is no client";
  {
    // The client ends the connection first, so its end then waits out the
    // close with the link's port as remote port and no process holding it.
    TestClient earlier;
    ASSERT_TRUE(connectTo(link_, earlier));
    EXPECT_EQ(findClientProcess(link_.port()), getpid());
    EXPECT_EQ(findClientProcess(link_.port(), "/nonexistent"), -1);
    earlier.stopSending();
    std::array<char, 16> buffer{};
    ASSERT_TRUE(waitUntil([&] {
      link_.receive(buffer);
      return !link_.isConnected();
    }));
    EXPECT_TRUE(earlier.waitForClose());
  }
  EXPECT_EQ(findClientProcess(link_.port()), -1);
  TestClient next;
  ASSERT_TRUE(connectTo(link_, next));
  EXPECT_EQ(findClientProcess(link_.port()), getpid());
}

class X11WindowLocatorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<XvfbSession>();
    server_->start(false, false);
  }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override {
    x_ = XOpenDisplay(server_->display().c_str());
    ASSERT_NE(x_, nullptr) << "Xvfb did not start";
  }
  void TearDown() override { XCloseDisplay(x_); }

  Window makeWindow(ScreenRect frame, bool mapped = true) {
    const Window window = XCreateSimpleWindow(x_, DefaultRootWindow(x_), frame.left, frame.top,
                                              static_cast<unsigned>(frame.width()),
                                              static_cast<unsigned>(frame.height()), 0, 0, 0);
    if (mapped) XMapWindow(x_, window);
    XSync(x_, False);
    return window;
  }

  static inline std::unique_ptr<XvfbSession> server_;
  Display* x_ = nullptr;
};

TEST_F(X11WindowLocatorTest, TakesTheLargestMappedWindowAndItsClientArea) {
  makeWindow({0, 0, 50, 40});
  const Window main = makeWindow({40, 50, 340, 250});
  makeWindow({0, 0, 700, 500}, /*mapped=*/false);
  X11WindowLocator locator(server_->display());
  EXPECT_EQ(locator.largestWindowOf(getpid()), main);
  EXPECT_EQ(locator.largestWindowOf(getpid() + 100000), 0u);

  ScreenRect rect;
  ASSERT_TRUE(locator.windowRect(main, rect));
  EXPECT_EQ(rect, (ScreenRect{40, 50, 340, 250}));
  // A nested window's client area, inside its 2-pixel border, on the screen.
  const Window inner = XCreateSimpleWindow(x_, main, 5, 25, 200, 100, 2, 0, 0);
  XSync(x_, False);
  ASSERT_TRUE(locator.windowRect(inner, rect));
  EXPECT_EQ(rect, (ScreenRect{47, 77, 247, 177}));

  // A window that has gone leaves the rectangle alone, and the connection fine.
  XDestroyWindow(x_, inner);
  XSync(x_, False);
  for (Window gone : {inner, Window{0}, Window{0x7ffffff}}) {
    EXPECT_FALSE(locator.windowRect(gone, rect));
    EXPECT_EQ(rect, (ScreenRect{47, 77, 247, 177}));
  }
  EXPECT_TRUE(locator.windowRect(main, rect));
}

TEST_F(X11WindowLocatorTest, WindowManagerClientListAndDeclaredProcessAreUsedWhenPresent) {
  // A managed window inside a frame, as a manager that frames windows keeps it.
  const Window frame = makeWindow({0, 0, 100, 100});
  const Window managed = XCreateSimpleWindow(x_, frame, 0, 10, 100, 90, 0, 0, 0);
  XMapWindow(x_, managed);
  const long declaredPid = 424242;
  XChangeProperty(x_, managed, XInternAtom(x_, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&declaredPid), 1);
  const Atom clientList = XInternAtom(x_, "_NET_CLIENT_LIST", False);
  const long windows[] = {static_cast<long>(managed)};
  XChangeProperty(x_, DefaultRootWindow(x_), clientList, XA_WINDOW, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(windows), 1);
  // One of our own that no manager lists (override-redirect).
  const Window unmanaged = makeWindow({0, 0, 600, 500});

  X11WindowLocator locator(server_->display());
  EXPECT_EQ(locator.largestWindowOf(declaredPid), managed);
  EXPECT_EQ(locator.largestWindowOf(getpid()), unmanaged);
  XDeleteProperty(x_, DefaultRootWindow(x_), clientList);
  XSync(x_, False);
  EXPECT_EQ(locator.largestWindowOf(declaredPid), 0u);
}

}  // namespace
}  // namespace tessary::testing
