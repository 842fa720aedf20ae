// The shell-wide display state and the overlay operations that act on it.
//
// The shell owns one DisplayState; the setting commands and the watched-window
// tracking change it on the main thread, and the overlay reads it there.
#pragma once

#include <cstdint>

namespace tessary {

struct ScreenRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;

  std::int32_t width() const { return right - left; }
  std::int32_t height() const { return bottom - top; }
  friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

struct Rgb {
  std::int32_t red = 0;
  std::int32_t green = 0;
  std::int32_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A top-level window of the platform's window system; 0 means none.
using WindowHandle = std::uint64_t;

struct WatchBorders {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const WatchBorders&, const WatchBorders&) = default;
};

inline constexpr Rgb kDefaultOverlayColour{255, 0, 255};
inline constexpr Rgb kDefaultBlendFactors{128, 128, 128};

struct DisplayState {
  std::int32_t screenWidth = 0;   // read once at start-up
  std::int32_t screenHeight = 0;
  ScreenRect renderArea;          // screen pixels; the whole screen by default
  WindowHandle watchedWindow = 0;
  WatchBorders watchBorders;
  bool overlayOn = true;
  Rgb overlayColour = kDefaultOverlayColour;
  Rgb blendFactors = kDefaultBlendFactors;
  // "mirror" and "flip" of the command language and of the tray menu: the
  // picture mirrored or flipped from the camera's usual view.
  bool overlayMirror = false;
  bool overlayFlip = false;

  ScreenRect wholeScreen() const { return ScreenRect{0, 0, screenWidth, screenHeight}; }
};

// The overlay that shows the live picture over the render area. Display
// operations return 0 on success and a negative code on failure.
class OverlayControl {
 public:
  virtual int overlayInit() = 0;
  virtual int overlayUpdatePosition() = 0;
  virtual int overlayPresent() = 0;
  virtual void overlayShutdown() = 0;

 protected:
  ~OverlayControl() = default;
};

// For programs and tests without an overlay: every operation succeeds and
// shows nothing.
class NullOverlayControl final : public OverlayControl {
 public:
  int overlayInit() override { return 0; }
  int overlayUpdatePosition() override { return 0; }
  int overlayPresent() override { return 0; }
  void overlayShutdown() override {}
};

}  // namespace tessary
