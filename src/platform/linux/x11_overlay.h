// The overlay on X11: a borderless, always-on-top window that shows the
// picture stretched over the render area, shaped to the pixels of the windows
// beneath that show the overlay colour, and letting every click through.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/member_callback.h"
#include "display/display_state.h"
#include "display/picture_source.h"

namespace tessary {

class X11Overlay final : public OverlayControl {
 public:
  // `state` and `pictures` must outlive the overlay. `reportError` shows a
  // start-up failure to the user. An empty `displayName` means $DISPLAY.
  X11Overlay(const DisplayState& state, const PictureSource& pictures,
             MemberCallback<std::string_view> reportError, std::string displayName = {});
  ~X11Overlay();
  X11Overlay(const X11Overlay&) = delete;
  X11Overlay& operator=(const X11Overlay&) = delete;

  int overlayInit() override;
  int overlayUpdatePosition() override;
  int overlayPresent() override;
  void overlayShutdown() override;

  // The X connection, so the shell can watch it for readability; -1 without.
  int connectionFd() const;
  // Takes in the window system's reports (windows beneath changed, moved,
  // restacked) and reshapes the overlay, at most about 30 times a second.
  // overlayPresent does this itself; call it on every frame tick as well, so
  // the shape keeps up while the overlay is not being fed.
  void processEvents();

  // The overlay window's id, 0 while there is none.
  unsigned long windowId() const;

 private:
  struct Connection;
  const DisplayState& state_;
  const PictureSource& pictures_;
  MemberCallback<std::string_view> reportError_;
  std::string displayName_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace tessary
