// A whole command link over loopback: TCP link, reply sender, zone server and
// interpreter wired the way the shell wires them, driven by a test client.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "detection/region_manager.h"
#include "display/display_state.h"
#include "link/command_interpreter.h"
#include "link/lan_browser.h"
#include "link/reply_sender.h"
#include "link/support/link_fakes.h"
#include "link/support/test_client.h"
#include "link/tcp_command_source.h"
#include "link/tcp_link.h"
#include "link/video_controller_zone_queries.h"
#include "link/watched_window.h"
#include "link/window_locator.h"
#include "platform/linux/posix_sockets.h"
#include "zones/video_controller.h"

namespace tessary::testing {

// A region manager whose hits the test fires by hand, as the detection thread
// would.
class FiringRegionManager final : public RegionManager {
 public:
  bool add(std::int32_t& index, const RegionDescriptor& descriptor) override {
    if (!RegionManager::add(index, descriptor)) return false;
    callbacks_[index] = descriptor.onHitIndexed;
    return true;
  }
  void fire(std::int32_t index) {
    auto found = callbacks_.find(index);
    if (found != callbacks_.end()) found->second(index);
  }

 private:
  std::map<std::int32_t, RegionIndexedHitCallback> callbacks_;
};

class FixedLanBrowser final : public LanBrowser {
 public:
  std::vector<std::string> names() const override { return names_; }
  std::vector<std::string> names_;
};

class FakeWindowLocator final : public WindowLocator {
 public:
  WindowHandle findClientWindow(std::uint16_t linkPort, WindowHandle current) override {
    askedPort = linkPort;
    return found != 0 ? found : current;
  }
  bool windowRect(WindowHandle window, ScreenRect& out) override {
    if (window != found || !readable) return false;
    out = rect;
    return true;
  }
  WindowHandle found = 0;
  ScreenRect rect;
  bool readable = true;
  std::uint16_t askedPort = 0;
};

// Counts what the interpreter reads, so a test knows when its text was taken.
class CountingSource final : public CommandSource {
 public:
  explicit CountingSource(TcpLink& link) : inner_(link) {}
  std::size_t receive(std::span<char> buffer) override {
    std::size_t count = inner_.receive(buffer);
    received += count;
    return count;
  }
  std::uint16_t port() const override { return inner_.port(); }
  std::size_t received = 0;

 private:
  TcpCommandSource inner_;
};

// What the shell does when the client goes away.
class ShellEvents final : public LinkEvents {
 public:
  void clientConnected() override {}
  void clearAllZones() override { controller->clearAllZones(); }
  void stopCapture() override {}
  void resetReplies() override { replies->reset(); }
  void logOut() override { interpreter->logOut(); }
  void resetBlendFactors() override { display->blendFactors = kDefaultBlendFactors; }

  VideoController* controller = nullptr;
  ReplySender* replies = nullptr;
  CommandInterpreter* interpreter = nullptr;
  DisplayState* display = nullptr;
};

inline constexpr std::string_view kCode = "secret";

class CommandLinkTest : public ::testing::Test {
 protected:
  CommandLinkTest() {
    display.screenWidth = 1024;
    display.screenHeight = 768;
    display.renderArea = display.wholeScreen();
    controller.setCurrentRegionManager(&regions);
    controller.setZoneHitListener(&replies);
    events.controller = &controller;
    events.replies = &replies;
    events.interpreter = &interpreter;
    events.display = &display;
    interpreter.setLoginChanged(MemberCallback<>::bind(this, &CommandLinkTest::loginChanged));
    writeCode(kCode);
  }

  ~CommandLinkTest() override {
    controller.setZoneHitListener(nullptr);
    std::filesystem::remove_all(folder);
  }

  void SetUp() override { connectClient(); }

  void writeCode(std::string_view code) {
    std::ofstream(codePath, std::ios::binary | std::ios::trunc) << code;
  }

  void connectClient() {
    ASSERT_TRUE(client.connect(link.port()));
    ASSERT_TRUE(waitUntil([&] { return link.isConnected(); }));
  }

  // Sends `text` with its NUL and answers every text sent back while the
  // interpreter executed it.
  std::vector<std::string> run(std::string_view text) { return runRaw(std::string(text) + '\0'); }

  // Sends exactly `bytes`, lets the interpreter take all of them, then asks
  // "whoareyou" in a read of its own: replies keep their order, so whatever
  // came before its answer belongs to `bytes`. (Waiting for silence instead
  // would race with the delays of small segments on the wire.)
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
    std::size_t target = source.received + bytes.size();
    EXPECT_TRUE(client.sendRaw(bytes));
    EXPECT_TRUE(waitUntil([&] {
      interpreter.poll();
      return source.received >= target;
    }));
  }

  // Runs `text` and expects exactly `replies` back.
  void expectReplies(std::string_view text, const std::vector<std::string>& expected) {
    EXPECT_EQ(run(text), expected) << "for: " << text;
  }

  void logIn() { expectReplies("login(secret)", {"<login status=\"successful\">"}); }

  void loginChanged() { ++loginChanges; }

  std::filesystem::path folder = [] {
    auto path = std::filesystem::temp_directory_path() /
                ("tessary-commands-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(path);
    return path;
  }();
  std::string codePath = (folder / "Quon_System.dat").string();

  DisplayState display;
  CountingOverlay overlay;
  FiringRegionManager regions;
  VideoController controller;
  VideoControllerZoneQueries queries{controller};
  ShellEvents events;
  PosixSockets sockets;
  TcpLink link{sockets, events, 0};
  ReplySender replies{link, queries, display, overlay};
  CountingSource source{link};
  FixedLanBrowser lan;
  FakeWindowLocator locator;
  CommandInterpreter interpreter{source, controller, replies, display, overlay,
                                 CommandOptions{&locator, &lan, codePath}};
  TestClient client;
  int loginChanges = 0;
};

// The same, logged in from the start.
class LoggedInTest : public CommandLinkTest {
 protected:
  void SetUp() override {
    CommandLinkTest::SetUp();
    logIn();
  }
};

}  // namespace tessary::testing
