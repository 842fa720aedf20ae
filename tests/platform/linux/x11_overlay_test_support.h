// Test helpers for the X11 overlay: a private Xvfb server, and a small client
// whose grey window carries areas painted in the key colour.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display/display_state.h"

namespace tessary::testing {

// Starts Xvfb on a display number it picks itself, and stops it again.
class XvfbServer {
 public:
  explicit XvfbServer(std::vector<std::string> extraArguments = {},
                      std::string screen = "1024x768x24");
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool running() const { return !name_.empty(); }
  const std::string& name() const { return name_; }  // ":N"
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

inline constexpr std::uint32_t kGrey = 0x808080;

// A top-level window painted grey, with child windows painted in a colour of
// the test's choosing; it counts the clicks it receives.
class KeyClient {
 public:
  // An override-redirect client stands for a menu or tooltip: mapped on
  // top of everything, the window manager never restacks it.
  KeyClient(const std::string& displayName, ScreenRect frame, std::vector<ScreenRect> keyAreas,
            std::uint32_t keyColour, bool overrideRedirect = false);
  ~KeyClient();
  KeyClient(const KeyClient&) = delete;
  KeyClient& operator=(const KeyClient&) = delete;

  bool ok() const { return window_ != 0; }
  // Repaints every key area in `colour` (0xRRGGBB).
  void paintKeyAreas(std::uint32_t colour);
  void raise();
  // Handles what has arrived; clicks are counted per key area.
  void pump();
  int clicksOnKeyArea(std::size_t index) const { return clicks_[index]; }

  // One screenshot of the whole screen, as 0xRRGGBB pixels.
  std::vector<std::uint32_t> screenshot();
  int screenWidth() const;

 private:
  Display* display_ = nullptr;
  Window window_ = 0;
  std::vector<Window> keyWindows_;
  std::vector<int> clicks_;
};

// Calls `step` and then tests `condition` until it holds or `timeout` passes.
bool waitUntil(const std::function<bool()>& condition, const std::function<void()>& step,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace tessary::testing
