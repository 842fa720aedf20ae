// Test support: a private X server (Xvfb) for one test program, optionally
// with a tray host (wmdocker), so tray icons can be embedded and inspected.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace tessary::testing {

class XvfbSession {
 public:
  ~XvfbSession();

  // Starts the server (1024 x 768) and, with `withTray`, a tray host whose
  // window is mapped at 0, 0 (no window manager maps it for us). Sets DISPLAY
  // in our own environment too, unless `exportDisplay` is false.
  bool start(bool withTray, bool exportDisplay = true);
  // Starts the tray host on a running server.
  bool startTray();
  const std::string& display() const { return display_; }
  // The tray host's window id, 0 without one.
  unsigned long trayWindow() const { return trayWindow_; }
  // How many icons the tray host holds now.
  int dockedIcons() const;

 private:
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
