// A whole command link over loopback, wired the way the shell wires it and
// driven by a test client.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "detection/region_manager.h"
#include "display/display_state.h"
#include "link/command_interpreter.h"
#include "link/command_source.h"
#include "link/lan_browser.h"
#include "link/reply_sender.h"
#include "link/support/link_fakes.h"
#include "support/temp_folder.h"
#include "support/test_client.h"
#include "link/tcp_link.h"
#include "link/video_controller_zone_queries.h"
#include "link/window_locator.h"
#include "link/support/platform_sockets.h"
#include "zones/video_controller.h"

namespace tessary::testing {

// Motion set by hand, as the detection thread would.
class FiringRegionManager final : public RegionManager {
 public:
  std::uint32_t motionAmount(std::int32_t index) const override {
    auto found = motion.find(index);
    return found == motion.end() ? 0 : found->second;
  }
  std::map<std::int32_t, std::uint32_t> motion;
};

// A clock that moves only when a test moves it.
class ManualClock final : public MillisecondClock {
 public:
  std::uint32_t nowMilliseconds() override { return now; }
  std::uint32_t now = 0;
};

inline std::string error(std::string_view text) {
  return "<error content=\"" + std::string(text) + "\">";
}

// Stands in for the shell: link events, command source, LAN list, window locator.
class CommandLinkTest : public ::testing::Test,
                        public LinkEvents,
                        public CommandSource,
                        public LanBrowser,
                        public WindowLocator {
 protected:
  CommandLinkTest() {
    display.screenWidth = 1024;
    display.screenHeight = 768;
    display.renderArea = display.wholeScreen();
    controller.cameras().setCurrentRegionManager(&regions);
    controller.eventSinks().add(replies);
    interpreter.setLoginChanged(MemberCallback<>::bind(this, &CommandLinkTest::loginChanged));
    writeCode("secret");
  }
  ~CommandLinkTest() override { controller.eventSinks().remove(replies); }

  void clientConnected() override { connections.fetch_add(1, std::memory_order_release); }
  void clearAllZones() override { controller.clearAllZones(); }
  void stopCapture() override {}
  void resetReplies() override { replies.reset(); }
  void logOut() override { interpreter.logOut(); }
  void resetBlendFactors() override { display.blendFactors = kDefaultBlendFactors; }

  // Counts what the interpreter reads, so a test knows when its text was taken.
  std::size_t receive(std::span<char> buffer) override {
    const std::size_t count = link.receive(buffer);
    bytesTaken += count;
    return count;
  }
  std::uint16_t port() const override { return link.port(); }
  void disconnect() override { link.disconnect(); }
  std::vector<std::string> names() const override { return lanNames; }
  WindowHandle findClientWindow(std::uint16_t, WindowHandle current) override {
    return clientWindow != 0 ? clientWindow : current;
  }
  bool windowRect(WindowHandle window, ScreenRect& out) override {
    if (window != clientWindow || !windowReadable) return false;
    out = clientWindowRect;
    return true;
  }

  void SetUp() override { connectClient(); }

  void writeCode(std::string_view code) { ASSERT_TRUE(writeFile(codePath, code)); }
  // Waits for the link's connect event, not only its flag: the accept thread
  // raises the event just after publishing the flag, and a test that ended in
  // between would be torn down under that call.
  void connectClient() {
    const int before = connections.load(std::memory_order_acquire);
    ASSERT_TRUE(client.connect(link.port()));
    ASSERT_TRUE(waitUntil([&] {
      return link.isConnected() && connections.load(std::memory_order_acquire) > before;
    }));
  }

  std::vector<std::string> run(std::string_view text) { return runRaw(std::string(text) + '\0'); }

  // Sends exactly `bytes`, then "whoareyou" in a read of its own: replies keep
  // their order, so whatever came before its answer belongs to `bytes`.
  // (Waiting for silence would race with small segments on the wire.)
  std::vector<std::string> runRaw(std::string_view bytes) {
    feed(bytes);
    feed(std::string_view("whoareyou()\0", 12));
    std::vector<std::string> texts;
    while (std::optional<std::string> text = client.nextText()) {
      if (text->find("\nKey created : ") != std::string::npos) return texts;
      texts.push_back(*text);
    }
    ADD_FAILURE() << "the end marker never came";
    return texts;
  }

  void feed(std::string_view bytes) {
    const std::size_t target = bytesTaken + bytes.size();
    EXPECT_TRUE(client.sendRaw(bytes));
    EXPECT_TRUE(waitUntil([&] {
      interpreter.poll();
      return bytesTaken >= target;
    }));
  }

  void expectReplies(std::string_view text, const std::vector<std::string>& expected) {
    EXPECT_EQ(run(text), expected) << "for: " << text;
  }
  void logIn() { expectReplies("login(secret)", {"<login status=\"successful\">"}); }
  void loginChanged() { ++loginChanges; }

  TempFolder folder;
  std::string codePath = folder.file("Quon_System.dat");

  std::atomic<int> connections{0};  // counted on the link's accept thread
  DisplayState display;
  CountingOverlay overlay;
  FiringRegionManager regions;
  VideoController controller;
  VideoControllerZoneQueries queries{controller};
  PlatformSockets sockets;
  TcpLink link{sockets, *this, 0};
  ReplySender replies{link, queries, display, overlay};
  ManualClock clock;
  CommandInterpreter interpreter{*this, controller, replies, display, overlay,
                                 CommandOptions{this, this, codePath, &clock, {}}};
  TestClient client;
  std::size_t bytesTaken = 0;
  int loginChanges = 0;
  std::vector<std::string> lanNames;
  WindowHandle clientWindow = 0;
  ScreenRect clientWindowRect;
  bool windowReadable = true;
};

class LoggedInTest : public CommandLinkTest {
 protected:
  void SetUp() override {
    CommandLinkTest::SetUp();
    logIn();
  }
};

}  // namespace tessary::testing
