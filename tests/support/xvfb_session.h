// Test support: a private X server (Xvfb) for one test program, optionally
// with a tray host (wmdocker), so tray icons can be embedded and counted.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace tessary::testing {

// The pixels of a window as the X server holds them, row by row.
struct WindowPicture {
  struct Pixel {
    unsigned char red = 0, green = 0, blue = 0;
  };
  int width = 0;
  int height = 0;
  std::vector<Pixel> pixels;
};

class XvfbSession {
 public:
  // `extraArguments` go to Xvfb, e.g. {"-extension", "MIT-SHM"} to leave one out.
  explicit XvfbSession(std::string screen = "1024x768x24",
                       std::vector<std::string> extraArguments = {});
  ~XvfbSession();

  // Starts the server and, with `withTray`, a tray host whose window is
  // mapped at 0, 0 (no window manager maps it for us). Sets DISPLAY in our
  // own environment too, unless `exportDisplay` is false.
  bool start(bool withTray = false, bool exportDisplay = true);
  bool startTray();
  const std::string& display() const { return display_; }  // ":N", empty before start()
  int serverPid() const { return server_.pid(); }
  int dockedIcons() const;  // icons the tray host holds now, -1 when unknown
  // What the tray host's window shows now, embedded icons included.
  std::optional<WindowPicture> trayPicture() const;

 private:
  std::vector<std::string> arguments_;
  ChildProcess server_;
  std::unique_ptr<ChildProcess> tray_;
  std::string display_;
  unsigned long trayWindow_ = 0;
};

// Runs a tool to its end (on `display`, or ours when empty) and returns its
// standard output, or nothing when it fails or takes longer than a few seconds.
std::optional<std::string> runTool(const std::vector<std::string>& argv,
                                   const std::string& display = {});

}  // namespace tessary::testing
