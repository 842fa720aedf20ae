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
#include "link/support/test_client.h"
#include "link/tcp_link.h"
#include "platform/linux/posix_sockets.h"
#include "platform/linux/private_x_server.h"
#include "platform/linux/proc_net_tcp.h"
#include "platform/linux/x11_window_locator.h"

namespace tessary {
namespace {

// --- /proc/net/tcp text -----------------------------------------------------

constexpr std::string_view kTcp4 =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
    "   0: 00000000:0868 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 51234 1 "
    "0000000000000000 100 0 0 10 0\n"
    "   1: 0100007F:9C40 0100007F:0868 01 00000000:00000000 00:00000000 00000000  1000        0 51240 1 "
    "0000000000000000 20 4 30 10 -1\n"
    "   2: 0100007F:9C41 0100007F:0868 06 00000000:00000000 03:00001770 00000000     0        0 0 3 "
    "0000000000000000\n";

constexpr std::string_view kTcp6 =
    "  sl  local_address                         remote_address                        st tx_queue "
    "rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
    "   0: 00000000000000000000000001000000:A410 00000000000000000000000001000000:0868 01 "
    "00000000:00000000 00:00000000 00000000  1000        0 98765 1 0000000000000000 20 4 0 10 -1\n";

TEST(ProcNetTcp, ReadsPortsStateAndInodeOfIpv4AndIpv6Rows) {
  const std::vector<ConnectionRow> rows = parseProcNetTcp(kTcp4);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_FALSE(rows[0].established);
  EXPECT_EQ(rows[0].localPort, 2152);
  EXPECT_EQ(rows[0].remotePort, 0);
  EXPECT_EQ(rows[0].owner, 51234u);
  EXPECT_TRUE(rows[1].established);
  EXPECT_EQ(rows[1].localPort, 40000);
  EXPECT_EQ(rows[1].remotePort, 2152);
  EXPECT_FALSE(rows[2].established) << "closing";
  EXPECT_EQ(rows[2].owner, 0u);

  const std::vector<ConnectionRow> rows6 = parseProcNetTcp(kTcp6);
  ASSERT_EQ(rows6.size(), 1u);
  EXPECT_TRUE(rows6[0].established);
  EXPECT_EQ(rows6[0].localPort, 0xA410);
  EXPECT_EQ(rows6[0].remotePort, 2152);
  EXPECT_EQ(rows6[0].owner, 98765u);
}

TEST(ProcNetTcp, SkipsLinesThatDoNotParse) {
  const std::string_view text =
      "\n"
      "   0: 0100007F:9C40 0100007F:0868 01 00000000:00000000 00:00000000 00000000 1000 0\n"  // short
      "   1: 0100007G:9C40 0100007F:0868 01 00000000:00000000 00:00000000 00000000 1000 0 7\n"
      "   2: 0100007F:19C40 0100007F:0868 01 00000000:00000000 00:00000000 00000000 1000 0 7\n"
      "   3: 0100007F 0100007F:0868 01 00000000:00000000 00:00000000 00000000 1000 0 7\n"
      "   4: 00007F:9C40 0100007F:0868 01 00000000:00000000 00:00000000 00000000 1000 0 7\n"
      "   5: 0100007F:9C40 0100007F:0868 1FF 00000000:00000000 00:00000000 00000000 1000 0 7\n"
      "   6: 0100007F:9C40 0100007F:0868 01 00000000:00000000 00:00000000 00000000 1000 0 -7\n"
      "   7: 0100007F:9C40 0100007F:0868 01 00000000:00000000 00:00000000 00000000 1000 0 "
      "99999999999999999999\n"
      "\t8:\t0100007F:0001\t0100007F:0868\t01 00000000:00000000 00:00000000 00000000 1000 0 8";  // no end
  const std::vector<ConnectionRow> rows = parseProcNetTcp(text);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].localPort, 1);
  EXPECT_EQ(rows[0].owner, 8u);
}

// --- The client of a real link, made by this process ------------------------

class ClientProcessTest : public ::testing::Test {
 protected:
  bool connect(testing::TestClient& client) {
    return client.connect(link_.port()) && testing::waitUntil([&] { return link_.isConnected(); });
  }

  testing::RecordingLinkEvents events_;
  PosixSockets sockets_;
  TcpLink link_{sockets_, events_, 0};
};

TEST_F(ClientProcessTest, OwnClientIsFoundAsThisProcess) {
  EXPECT_EQ(findClientProcess(link_.port()), -1) << "listening alone is no client";
  testing::TestClient client;
  ASSERT_TRUE(connect(client));
  EXPECT_EQ(findClientProcess(link_.port()), getpid());
  EXPECT_EQ(findClientProcess(link_.port(), "/nonexistent"), -1);
  EXPECT_EQ(findSocketOwner(0), -1);
}

TEST_F(ClientProcessTest, EarlierClientClosingItsEndIsNotTaken) {
  {
    // The client ends the connection first, so its end then waits out the
    // close with the link's port as remote port and no process holding it.
    testing::TestClient earlier;
    ASSERT_TRUE(connect(earlier));
    earlier.stopSending();
    std::array<char, 16> buffer{};
    ASSERT_TRUE(testing::waitUntil([&] {
      link_.receive(buffer);
      return !link_.isConnected();
    }));
    EXPECT_TRUE(earlier.waitForClose());
  }
  EXPECT_EQ(findClientProcess(link_.port()), -1);
  testing::TestClient next;
  ASSERT_TRUE(connect(next));
  EXPECT_EQ(findClientProcess(link_.port()), getpid());
}

TEST(ClientRows, OnlyPeersOfAcceptedConnectionsCount) {
  constexpr std::uint16_t kPort = 2152;
  const std::vector<ConnectionRow> rows{
      {true, 40001, kPort, 21},  // waiting in the listen queue
      {true, kPort, 40001, 0},   // its server end, not accepted yet
      {true, 40002, kPort, 22},  // the client being served
      {true, kPort, 40002, 31},
      {true, 40003, 80, 23},     // elsewhere
  };
  const std::vector<ConnectionRow> clients = acceptedClientRows(rows, kPort);
  ASSERT_EQ(clients.size(), 1u);
  EXPECT_EQ(clients[0].owner, 22u);
}

// --- Windows, under a private X server ------------------------------------

class X11WindowLocatorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<testing::PrivateXServer>(); }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    if (server_->name().empty()) GTEST_SKIP() << "Xvfb could not be started";
    display_ = XOpenDisplay(server_->name().c_str());
    ASSERT_NE(display_, nullptr);
  }
  void TearDown() override {
    if (display_ != nullptr) XCloseDisplay(display_);
  }

  Window makeWindow(ScreenRect frame, bool mapped = true) {
    const Window window = XCreateSimpleWindow(display_, DefaultRootWindow(display_), frame.left, frame.top,
                                              static_cast<unsigned>(frame.width()),
                                              static_cast<unsigned>(frame.height()), 0, 0, 0);
    if (mapped) XMapWindow(display_, window);
    XSync(display_, False);
    return window;
  }

  static inline std::unique_ptr<testing::PrivateXServer> server_;
  Display* display_ = nullptr;
};

TEST_F(X11WindowLocatorTest, TakesTheLargestMappedWindowOfTheProcess) {
  makeWindow({0, 0, 50, 40});
  const Window main = makeWindow({40, 50, 340, 250});
  makeWindow({0, 0, 700, 500}, /*mapped=*/false);

  X11WindowLocator locator(server_->name());
  EXPECT_EQ(locator.largestWindowOf(getpid()), main);
  EXPECT_EQ(locator.largestWindowOf(getpid() + 100000), 0u);

  ScreenRect rect;
  ASSERT_TRUE(locator.windowRect(main, rect));
  EXPECT_EQ(rect, (ScreenRect{40, 50, 340, 250}));
  // A nested window's client area, inside its 2-pixel border, on the screen.
  const Window inner = XCreateSimpleWindow(display_, main, 5, 25, 200, 100, 2, 0, 0);
  XSync(display_, False);
  ASSERT_TRUE(locator.windowRect(inner, rect));
  EXPECT_EQ(rect, (ScreenRect{47, 77, 247, 177}));
}

TEST_F(X11WindowLocatorTest, WindowThatIsGoneGivesFalseAndLeavesTheRectAlone) {
  const Window window = makeWindow({10, 10, 110, 110});
  X11WindowLocator locator(server_->name());
  ScreenRect rect;
  ASSERT_TRUE(locator.windowRect(window, rect));
  XDestroyWindow(display_, window);
  XSync(display_, False);

  const ScreenRect before{1, 2, 3, 4};
  rect = before;
  EXPECT_FALSE(locator.windowRect(window, rect));
  EXPECT_EQ(rect, before);
  EXPECT_FALSE(locator.windowRect(0, rect));
  EXPECT_FALSE(locator.windowRect(0x7ffffff, rect));
  // The locator's connection is still fine afterwards.
  const Window next = makeWindow({5, 6, 15, 16});
  EXPECT_TRUE(locator.windowRect(next, rect));
}

TEST_F(X11WindowLocatorTest, WindowManagerClientListAndDeclaredProcessAreUsedWhenPresent) {
  // A managed window inside a frame, as a manager that frames windows keeps it.
  const Window frame = makeWindow({0, 0, 100, 100});
  const Window managed = XCreateSimpleWindow(display_, frame, 0, 10, 100, 90, 0, 0, 0);
  XMapWindow(display_, managed);
  const long declaredPid = 424242;
  XChangeProperty(display_, managed, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&declaredPid), 1);
  const Atom clientList = XInternAtom(display_, "_NET_CLIENT_LIST", False);
  const long windows[] = {static_cast<long>(managed)};
  XChangeProperty(display_, DefaultRootWindow(display_), clientList, XA_WINDOW, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(windows), 1);
  // One of our own that no manager lists (override-redirect).
  const Window unmanaged = makeWindow({0, 0, 600, 500});

  X11WindowLocator locator(server_->name());
  EXPECT_EQ(locator.largestWindowOf(declaredPid), managed);
  EXPECT_EQ(locator.largestWindowOf(getpid()), unmanaged);
  XDeleteProperty(display_, DefaultRootWindow(display_), clientList);
  XSync(display_, False);
  EXPECT_EQ(locator.largestWindowOf(declaredPid), 0u);
}

TEST(X11WindowLocatorNoDisplay, FindsNothingWithoutAnXServer) {
  X11WindowLocator locator(":none-such");
  ScreenRect rect;
  EXPECT_FALSE(locator.windowRect(1, rect));
  EXPECT_EQ(locator.largestWindowOf(getpid()), 0u);
  EXPECT_EQ(locator.findClientWindow(1, 9), 9u);
}

}  // namespace
}  // namespace tessary
