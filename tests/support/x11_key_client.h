// Test support: a small X11 client whose grey window carries areas painted
// in a key colour, as a client of the overlay paints them.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "display/display_state.h"

namespace tessary::testing {

inline constexpr std::uint32_t kGrey = 0x808080;

class KeyClient {
 public:
  // An override-redirect client stands for a menu or tooltip: mapped on top
  // of everything, never restacked by a window manager.
  KeyClient(const std::string& displayName, ScreenRect frame, std::vector<ScreenRect> keyAreas,
            std::uint32_t keyColour, bool overrideRedirect = false);
  ~KeyClient();
  KeyClient(const KeyClient&) = delete;
  KeyClient& operator=(const KeyClient&) = delete;

  bool ok() const { return window_ != 0; }
  unsigned long window() const { return window_; }
  void paintKeyAreas(std::uint32_t colour);  // 0xRRGGBB
  void raise();
  // Handles the events that have arrived, counting clicks per key area.
  void pump();
  int clicksOnKeyArea(std::size_t index) const { return clicks_[index]; }
  // The pixel at (x, y) on the screen as 0xRRGGBB, or ~0u when unreadable.
  std::uint32_t screenPixel(int x, int y);

 private:
  Display* display_ = nullptr;
  Window window_ = 0;
  std::vector<Window> keyWindows_;
  std::vector<int> clicks_;
};

// Each channel within a few steps of `expected`'s (0xRRGGBB).
bool near(std::uint32_t pixel, std::uint32_t expected);

}  // namespace tessary::testing
