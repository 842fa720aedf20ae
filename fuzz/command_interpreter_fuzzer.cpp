// Feeds arbitrary bytes to a logged-in command interpreter, as received texts
// read from a link, with a zone server that accepts zones. Every message the
// replies produce must be one bounded text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>

#include "detection/region_manager.h"
#include "display/display_state.h"
#include "link/command_interpreter.h"
#include "link/command_source.h"
#include "link/lan_browser.h"
#include "link/message_sink.h"
#include "link/reply_sender.h"
#include "link/video_controller_zone_queries.h"
#include "link/watched_window.h"
#include "link/window_locator.h"
#include "zones/video_controller.h"

namespace tessary {
namespace {

// Hands out the fuzz input the way the link would: at most one buffer less
// one byte per read.
class ScriptedSource final : public CommandSource {
 public:
  void load(std::span<const std::uint8_t> bytes) { pending_ = bytes; }
  bool empty() const { return pending_.empty(); }

  std::size_t receive(std::span<char> buffer) override {
    if (buffer.empty()) return 0;
    std::memset(buffer.data(), 0, buffer.size());
    std::size_t count = std::min(pending_.size(), buffer.size() - 1);
    std::memcpy(buffer.data(), pending_.data(), count);
    pending_ = pending_.subspan(count);
    return count;
  }
  std::uint16_t port() const override { return 2152; }
  void disconnect() override { pending_ = {}; }

 private:
  std::span<const std::uint8_t> pending_;
};

// The fake link: checks that every message is one whole, bounded text.
class CheckingSink final : public MessageSink {
 public:
  bool send(std::string_view text) override {
    if (text.size() >= ReplySender::kTextCapacity || text.find('\0') != std::string_view::npos) {
      std::fprintf(stderr, "malformed message of %zu bytes\n", text.size());
      std::abort();
    }
    return true;
  }
};

class SomeMachines final : public LanBrowser {
 public:
  std::vector<std::string> names() const override {
    return {"alpha", "beta", std::string(200, 'g'), "delta"};
  }
};

class OneWindow final : public WindowLocator {
 public:
  WindowHandle findClientWindow(std::uint16_t, WindowHandle) override { return 9; }
  bool windowRect(WindowHandle, ScreenRect& rect) override {
    rect = ScreenRect{-2147483647 - 1, 0, 2147483647, 100};
    return true;
  }
};

// Five seconds pass between two readings: short delays are over at once,
// the longer ones hold logins back for a few polls, and every input still
// runs to its end.
class LeapingClock final : public MillisecondClock {
 public:
  std::uint32_t nowMilliseconds() override { return now_ += 5000; }

 private:
  std::uint32_t now_ = 0;
};

struct World {
  World() {
    display.screenWidth = 1024;
    display.screenHeight = 768;
    display.renderArea = display.wholeScreen();
    controller.cameras().setCurrentRegionManager(&regions);
    controller.eventSinks().add(replies);
    std::ofstream(codePath, std::ios::binary | std::ios::trunc) << "secret";
  }

  // Back to a freshly logged-in client, so that every input starts alike.
  void reset() {
    controller.clearAllZones();
    controller.setSensitivityDefault(VideoController::kInitialSensitivityDefault);
    controller.setThresholdDefault(VideoController::kInitialThresholdDefault);
    replies.reset();
    display.blendFactors = kDefaultBlendFactors;
    if (!interpreter.isLoggedIn()) interpreter.executeBlock("login(secret)");
  }

  std::string codePath =
      (std::filesystem::temp_directory_path() / "tessary-fuzz-Quon_System.dat").string();
  DisplayState display;
  NullOverlayControl overlay;
  RegionManager regions;
  VideoController controller;
  VideoControllerZoneQueries queries{controller};
  CheckingSink sink;
  ReplySender replies{sink, queries, display, overlay};
  ScriptedSource source;
  SomeMachines lan;
  OneWindow locator;
  LeapingClock clock;
  CommandInterpreter interpreter{source, controller, replies, display, overlay,
                                 CommandOptions{&locator, &lan, codePath, &clock, {}}};
};

}  // namespace
}  // namespace tessary

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tessary::World world;
  world.reset();
  world.source.load(std::span<const std::uint8_t>(data, size));
  while (!world.source.empty()) world.interpreter.poll();
  world.controller.tickPauseTimers();
  world.replies.motionPass();
  tessary::trackWatchedWindow(world.display, world.overlay, &world.locator);
  return 0;
}
