// GoogleTest before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

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
      "   7: 0100007F:9C40 0100007F:0868 01 00000000:00000000 00:00000000 00000000 1000 0 99999999999999999999\n"
      "\t8:\t0100007F:0001\t0100007F:0868\t01 00000000:00000000 00:00000000 00000000 1000 0 8";  // no end
  const std::vector<ConnectionRow> rows = parseProcNetTcp(text);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].localPort, 1);
  EXPECT_EQ(rows[0].owner, 8u);
}

// --- A real loopback link, made by this process ----------------------------

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// A listening socket on an ephemeral loopback port, standing in for the link.
class LoopbackListener {
 public:
  explicit LoopbackListener(int family = AF_INET) : family_(family), socket_(socket(family, SOCK_STREAM, 0)) {
    sockaddr_storage address = loopback(0);
    socklen_t length = sizeof address;
    if (bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), addressLength()) != 0 ||
        listen(socket_.get(), 4) != 0 ||
        getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(family_ == AF_INET ? reinterpret_cast<sockaddr_in&>(address).sin_port
                                     : reinterpret_cast<sockaddr_in6&>(address).sin6_port);
  }
  std::uint16_t port() const { return port_; }

  // The two ends of one accepted connection.
  struct Connection {
    FileDescriptor client;
    FileDescriptor server;
  };
  Connection connectClient() const {
    Connection connection{connectOnly(), FileDescriptor()};
    if (connection.client.get() >= 0) connection.server = acceptOne();
    return connection;
  }
  // A client connected but left in the listen queue; -1 on failure.
  FileDescriptor connectOnly() const {
    FileDescriptor client(socket(family_, SOCK_STREAM, 0));
    const sockaddr_storage address = loopback(port_);
    if (connect(client.get(), reinterpret_cast<const sockaddr*>(&address), addressLength()) != 0) client.reset();
    return client;
  }
  FileDescriptor acceptOne() const { return FileDescriptor(accept(socket_.get(), nullptr, nullptr)); }

 private:
  sockaddr_storage loopback(std::uint16_t port) const {
    sockaddr_storage storage{};
    if (family_ == AF_INET) {
      auto& in = reinterpret_cast<sockaddr_in&>(storage);
      in.sin_family = AF_INET;
      in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      in.sin_port = htons(port);
    } else {
      auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
      in6.sin6_family = AF_INET6;
      in6.sin6_addr = in6addr_loopback;
      in6.sin6_port = htons(port);
    }
    return storage;
  }
  socklen_t addressLength() const {
    return family_ == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
  }

  int family_;
  FileDescriptor socket_;
  std::uint16_t port_ = 0;
};

std::uint64_t inodeOf(int fd) {
  struct stat status {};
  return fstat(fd, &status) == 0 ? status.st_ino : 0;
}

TEST(ClientProcess, OwnLoopbackClientIsFoundAsThisProcess) {
  const LoopbackListener listener;
  ASSERT_NE(listener.port(), 0);
  EXPECT_EQ(findClientProcess(listener.port()), -1) << "listening alone is no client";

  const LoopbackListener::Connection link = listener.connectClient();
  ASSERT_GE(link.server.get(), 0);
  EXPECT_EQ(findClientProcess(listener.port()), getpid());
  EXPECT_EQ(findSocketOwner(inodeOf(link.client.get())), getpid());
  EXPECT_EQ(findSocketOwner(0), -1);
  EXPECT_EQ(findClientProcess(listener.port(), "/nonexistent"), -1);
}

TEST(ClientProcess, IPv6LoopbackClientIsFound) {
  const LoopbackListener listener(AF_INET6);
  if (listener.port() == 0) GTEST_SKIP() << "no IPv6 loopback here";
  const LoopbackListener::Connection link = listener.connectClient();
  ASSERT_GE(link.server.get(), 0);
  EXPECT_EQ(findClientProcess(listener.port()), getpid());
}

TEST(ClientProcess, EarlierClientClosingItsEndIsNotTaken) {
  const LoopbackListener listener;
  ASSERT_NE(listener.port(), 0);
  {
    // The client closes first, so its end waits out the close with the
    // link's port as remote port and no process holding it.
    LoopbackListener::Connection earlier = listener.connectClient();
    ASSERT_GE(earlier.server.get(), 0);
    earlier.client.reset();
    char byte = 0;
    EXPECT_EQ(read(earlier.server.get(), &byte, 1), 0);
  }
  EXPECT_EQ(findClientProcess(listener.port()), -1);
  const LoopbackListener::Connection link = listener.connectClient();
  ASSERT_GE(link.server.get(), 0);
  EXPECT_EQ(findClientProcess(listener.port()), getpid());
}

// A client in a process of its own, connected to `port` until destroyed.
class ChildClient {
 public:
  explicit ChildClient(const LoopbackListener& listener) {
    int ready[2];
    int hold[2];
    if (pipe(ready) != 0) return;
    if (pipe(hold) != 0) {
      close(ready[0]);
      close(ready[1]);
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(hold[1]);
      const FileDescriptor client = listener.connectOnly();
      const char connected = client.get() >= 0 ? 1 : 0;
      char ignored = 0;
      if (write(ready[1], &connected, 1) == 1) {
        [[maybe_unused]] const ssize_t done = read(hold[0], &ignored, 1);  // until the parent lets go
      }
      _exit(0);
    }
    close(ready[1]);
    close(hold[0]);
    hold_ = FileDescriptor(hold[1]);
    char connected = 0;
    connected_ = pid_ > 0 && read(ready[0], &connected, 1) == 1 && connected == 1;
    close(ready[0]);
  }
  ~ChildClient() {
    hold_.reset();
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  ChildClient(const ChildClient&) = delete;
  ChildClient& operator=(const ChildClient&) = delete;

  bool connected() const { return connected_; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  FileDescriptor hold_;
  bool connected_ = false;
};

TEST(ClientProcess, ClientWaitingInTheListenQueueIsNotTaken) {
  {
    const LoopbackListener listener;
    const LoopbackListener::Connection link = listener.connectClient();
    ASSERT_GE(link.server.get(), 0);
    const ChildClient waiting(listener);
    ASSERT_TRUE(waiting.connected());
    EXPECT_EQ(findClientProcess(listener.port()), getpid());
  }
  {
    const LoopbackListener listener;
    const ChildClient served(listener);
    ASSERT_TRUE(served.connected());
    const FileDescriptor server = listener.acceptOne();
    ASSERT_GE(server.get(), 0);
    const FileDescriptor waiting = listener.connectOnly();
    ASSERT_GE(waiting.get(), 0);
    EXPECT_EQ(findClientProcess(listener.port()), served.pid());
  }
}

TEST(ClientProcess, OnlyPeersOfAcceptedConnectionsCount) {
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

TEST_F(X11WindowLocatorTest, FindsTheLargestMappedWindowOfTheClientAndReadsItsRect) {
  makeWindow({0, 0, 50, 40});
  const Window main = makeWindow({40, 50, 340, 250});
  makeWindow({0, 0, 700, 500}, /*mapped=*/false);

  X11WindowLocator locator(server_->name());
  EXPECT_EQ(locator.largestWindowOf(getpid()), main);
  EXPECT_EQ(locator.largestWindowOf(getpid() + 100000), 0u);

  const LoopbackListener listener;
  EXPECT_EQ(locator.findClientWindow(listener.port(), 77), 77u) << "no client: the watched window stays";
  const LoopbackListener::Connection link = listener.connectClient();
  ASSERT_GE(link.server.get(), 0);
  const WindowHandle found = locator.findClientWindow(listener.port(), 77);
  EXPECT_EQ(found, main);

  ScreenRect rect;
  ASSERT_TRUE(locator.windowRect(found, rect));
  EXPECT_EQ(rect, (ScreenRect{40, 50, 340, 250}));
  XMoveWindow(display_, main, 100, 120);
  XSync(display_, False);
  ASSERT_TRUE(locator.windowRect(found, rect));
  EXPECT_EQ(rect, (ScreenRect{100, 120, 400, 320}));
}

TEST_F(X11WindowLocatorTest, ClientAreaOfANestedWindowIsInScreenPixels) {
  const Window outer = makeWindow({30, 20, 430, 320});
  const Window inner = XCreateSimpleWindow(display_, outer, 5, 25, 200, 100, 2, 0, 0);
  XMapWindow(display_, inner);
  XSync(display_, False);
  X11WindowLocator locator(server_->name());
  ScreenRect rect;
  ASSERT_TRUE(locator.windowRect(inner, rect));
  // Inside the 2-pixel border.
  EXPECT_EQ(rect, (ScreenRect{37, 47, 237, 147}));
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
  const Window listed = makeWindow({0, 0, 100, 100});
  const Window unlisted = makeWindow({0, 0, 600, 500});
  const long declaredPid = 424242;
  XChangeProperty(display_, listed, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&declaredPid), 1);
  const Atom clientList = XInternAtom(display_, "_NET_CLIENT_LIST", False);
  const long windows[] = {static_cast<long>(listed)};
  XChangeProperty(display_, DefaultRootWindow(display_), clientList, XA_WINDOW, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(windows), 1);
  XSync(display_, False);

  X11WindowLocator locator(server_->name());
  EXPECT_EQ(locator.largestWindowOf(declaredPid), listed);
  EXPECT_EQ(locator.largestWindowOf(getpid()), 0u) << "only the managed windows count";

  XDeleteProperty(display_, DefaultRootWindow(display_), clientList);
  XSync(display_, False);
  EXPECT_EQ(locator.largestWindowOf(getpid()), unlisted);
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
