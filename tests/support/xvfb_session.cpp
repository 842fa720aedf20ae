#include "support/xvfb_session.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <sstream>
#include <thread>

#include "support/outside_programs.h"

namespace tessary::testing {

std::optional<std::string> runTool(const std::vector<std::string>& argv,
                                   const std::string& display) {
  ChildProcess tool;
  std::vector<std::string> environment;
  if (!display.empty()) environment.push_back("DISPLAY=" + display);
  if (!tool.start(argv, environment)) return std::nullopt;
  std::string output;
  while (std::optional<std::string> line = tool.readLine(5s)) output += *line + "\n";
  if (tool.wait(5s) != 0) return std::nullopt;
  return output;
}

XvfbSession::XvfbSession(std::string screen, std::vector<std::string> extraArguments)
    // -displayfd picks a free display and writes its number on our pipe;
    // -noreset keeps the server as it is while no client is connected.
    : arguments_{programPath("Xvfb"), "-displayfd", "1", "-screen", "0", std::move(screen),
                 "-nolisten", "tcp", "-noreset"} {
  arguments_.insert(arguments_.end(), extraArguments.begin(), extraArguments.end());
}

XvfbSession::~XvfbSession() {
  if (tray_) tray_->signal(SIGTERM);
  server_.signal(SIGTERM);
  if (tray_) tray_->wait(2s);
  server_.wait(2s);
}

bool XvfbSession::start(bool withTray, bool exportDisplay) {
  const std::string missing = withTray ? missingPrograms({"Xvfb", "wmdocker", "xdotool", "xwininfo"})
                                       : missingPrograms({"Xvfb"});
  if (!missing.empty()) {
    std::fputs(missing.c_str(), stderr);
    return false;
  }
  if (!server_.start(arguments_)) return false;
  std::optional<std::string> number = server_.readLine(15s);
  if (!number) return false;
  display_ = ":" + *number;
  if (exportDisplay) setenv("DISPLAY", display_.c_str(), 1);
  return !withTray || startTray();
}

bool XvfbSession::startTray() {
  tray_ = std::make_unique<ChildProcess>();
  if (!tray_->start({"/usr/bin/wmdocker"}, {"DISPLAY=" + display_})) return false;
  for (int attempt = 0; attempt < 100 && trayWindow_ == 0; ++attempt) {
    if (auto found = runTool({programPath("xdotool"), "search", "--name", "^Docker$"}, display_)) {
      std::istringstream(*found) >> trayWindow_;
    }
    if (trayWindow_ == 0) std::this_thread::sleep_for(50ms);
  }
  return trayWindow_ != 0 &&
         runTool({programPath("xdotool"), "windowmap", "--sync", std::to_string(trayWindow_)}, display_);
}

int XvfbSession::dockedIcons() const {
  if (trayWindow_ == 0) return 0;
  std::optional<std::string> tree =
      runTool({"/usr/bin/xwininfo", "-children", "-id", std::to_string(trayWindow_)}, display_);
  // "     1 child:" or "     0 children."
  std::istringstream lines(tree.value_or(""));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    int count = 0;
    std::string word;
    if (words >> count >> word && word.starts_with("child")) return count;
  }
  return -1;
}

std::optional<WindowPicture> XvfbSession::trayPicture() const {
  if (trayWindow_ == 0) return std::nullopt;
  Display* display = XOpenDisplay(display_.c_str());
  if (display == nullptr) return std::nullopt;
  std::optional<WindowPicture> picture;
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, trayWindow_, &attributes) != 0) {
    // IncludeInferiors is the default for a window's own image on a server
    // without compositing: the embedded icons' pixels come with it.
    XImage* image = XGetImage(display, trayWindow_, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (image != nullptr) {
      picture.emplace();
      picture->width = attributes.width;
      picture->height = attributes.height;
      for (int y = 0; y < attributes.height; ++y) {
        for (int x = 0; x < attributes.width; ++x) {
          const unsigned long value = XGetPixel(image, x, y);
          // A 24-bit TrueColor visual: 8 bits each, red highest.
          picture->pixels.push_back({static_cast<unsigned char>((value & image->red_mask) >> 16),
                                     static_cast<unsigned char>((value & image->green_mask) >> 8),
                                     static_cast<unsigned char>(value & image->blue_mask)});
        }
      }
      XDestroyImage(image);
    }
  }
  XCloseDisplay(display);
  return picture;
}

}  // namespace tessary::testing
