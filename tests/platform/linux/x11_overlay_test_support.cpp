#include "x11_overlay_test_support.h"

#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace tessary::testing {

XvfbServer::XvfbServer(std::vector<std::string> extraArguments, std::string screen) {
  int fds[2];
  if (pipe(fds) != 0) return;
  std::vector<std::string> arguments{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                     screen, "-nolisten", "tcp",
                                     // Stay up between tests, when no client is connected.
                                     "-noreset"};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
      dup2(devNull, STDOUT_FILENO);
      dup2(devNull, STDERR_FILENO);
    }
    execvp("Xvfb", argv.data());
    _exit(127);
  }
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    return;
  }
  // Xvfb writes its display number once it accepts connections.
  std::string number;
  pollfd readable{fds[0], POLLIN, 0};
  while (poll(&readable, 1, 15000) > 0) {
    char c;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number.push_back(c);
  }
  close(fds[0]);
  if (!number.empty()) name_ = ":" + number;
}

XvfbServer::~XvfbServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
}

KeyClient::KeyClient(const std::string& displayName, ScreenRect frame, std::vector<ScreenRect> keyAreas,
                     std::uint32_t keyColour, bool overrideRedirect) {
  display_ = XOpenDisplay(displayName.c_str());
  if (display_ == nullptr) return;
  const int screen = DefaultScreen(display_);
  XSetWindowAttributes attributes{};
  attributes.background_pixel = kGrey;
  attributes.event_mask = ButtonPressMask;
  attributes.override_redirect = overrideRedirect ? True : False;
  window_ = XCreateWindow(display_, RootWindow(display_, screen), frame.left, frame.top,
                          static_cast<unsigned>(frame.width()), static_cast<unsigned>(frame.height()), 0,
                          CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask | CWOverrideRedirect,
                          &attributes);
  attributes.background_pixel = keyColour;
  for (const ScreenRect& area : keyAreas) {
    keyWindows_.push_back(XCreateWindow(display_, window_, area.left, area.top,
                                        static_cast<unsigned>(area.width()),
                                        static_cast<unsigned>(area.height()), 0, CopyFromParent,
                                        InputOutput, CopyFromParent, CWBackPixel | CWEventMask,
                                        &attributes));
  }
  clicks_.assign(keyWindows_.size(), 0);
  XMapSubwindows(display_, window_);
  XMapWindow(display_, window_);
  XSync(display_, False);
}

KeyClient::~KeyClient() {
  if (display_ == nullptr) return;
  if (window_ != 0) XDestroyWindow(display_, window_);
  XCloseDisplay(display_);
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
    if (event.type != ButtonPress) continue;
    for (std::size_t i = 0; i < keyWindows_.size(); ++i) {
      if (event.xbutton.window == keyWindows_[i]) ++clicks_[i];
    }
  }
}

int KeyClient::screenWidth() const { return DisplayWidth(display_, DefaultScreen(display_)); }

std::vector<std::uint32_t> KeyClient::screenshot() {
  const int screen = DefaultScreen(display_);
  const int width = DisplayWidth(display_, screen), height = DisplayHeight(display_, screen);
  std::vector<std::uint32_t> pixels;
  XImage* image = XGetImage(display_, RootWindow(display_, screen), 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return pixels;
  pixels.reserve(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
  XDestroyImage(image);
  return pixels;
}

bool waitUntil(const std::function<bool()>& condition, const std::function<void()>& step,
               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    step();
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

}  // namespace tessary::testing
