#include "support/x11_key_client.h"

#include <X11/Xutil.h>

#include <cstdlib>

namespace tessary::testing {

KeyClient::KeyClient(const std::string& displayName, ScreenRect frame, std::vector<ScreenRect> keyAreas,
                     std::uint32_t keyColour, bool overrideRedirect) {
  display_ = XOpenDisplay(displayName.c_str());
  if (display_ == nullptr) return;
  XSetWindowAttributes attributes{};
  attributes.background_pixel = kGrey;
  attributes.event_mask = ButtonPressMask;
  attributes.override_redirect = overrideRedirect ? True : False;
  auto create = [&](Window parent, ScreenRect at, unsigned long mask) {
    return XCreateWindow(display_, parent, at.left, at.top, static_cast<unsigned>(at.width()),
                         static_cast<unsigned>(at.height()), 0, CopyFromParent, InputOutput,
                         CopyFromParent, mask, &attributes);
  };
  window_ = create(DefaultRootWindow(display_), frame, CWBackPixel | CWEventMask | CWOverrideRedirect);
  attributes.background_pixel = keyColour;
  for (const ScreenRect& area : keyAreas) keyWindows_.push_back(create(window_, area, CWBackPixel | CWEventMask));
  clicks_.assign(keyWindows_.size(), 0);
  XMapSubwindows(display_, window_);
  XMapWindow(display_, window_);
  XSync(display_, False);
}

KeyClient::~KeyClient() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

void KeyClient::paintKeyAreas(std::uint32_t colour) {
  for (Window key : keyWindows_) {
    XSetWindowBackground(display_, key, colour);
    XClearWindow(display_, key);
  }
  XSync(display_, False);
}

void KeyClient::raise() {
  XRaiseWindow(display_, window_);
  XSync(display_, False);
}

void KeyClient::pump() {
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    for (std::size_t i = 0; i < keyWindows_.size(); ++i) {
      if (event.type == ButtonPress && event.xbutton.window == keyWindows_[i]) ++clicks_[i];
    }
  }
}

std::uint32_t KeyClient::screenPixel(int x, int y) {
  XImage* image = XGetImage(display_, DefaultRootWindow(display_), x, y, 1, 1, AllPlanes, ZPixmap);
  if (image == nullptr) return ~0u;
  const auto pixel = static_cast<std::uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
  XDestroyImage(image);
  return pixel;
}

bool near(std::uint32_t pixel, std::uint32_t expected) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF)) > 12) {
      return false;
    }
  }
  return true;
}

}  // namespace tessary::testing
