#include "xvfb_session.h"

#include <signal.h>
#include <stdlib.h>

#include <sstream>
#include <thread>

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

XvfbSession::~XvfbSession() {
  if (tray_) tray_->signal(SIGTERM);
  server_.signal(SIGTERM);
  if (tray_) tray_->wait(2s);
  server_.wait(2s);
}

bool XvfbSession::start(bool withTray, bool exportDisplay) {
  // -displayfd picks a free display and writes its number on our pipe.
  if (!server_.start({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24",
                      "-nolisten", "tcp"})) {
    return false;
  }
  std::optional<std::string> number = server_.readLine(10s);
  if (!number) return false;
  display_ = ":" + *number;
  if (exportDisplay) setenv("DISPLAY", display_.c_str(), 1);
  return !withTray || startTray();
}

bool XvfbSession::startTray() {
  tray_ = std::make_unique<ChildProcess>();
  if (!tray_->start({"/usr/bin/wmdocker"}, {"DISPLAY=" + display_})) return false;
  for (int attempt = 0; attempt < 100 && trayWindow_ == 0; ++attempt) {
    if (auto found = runTool({"/usr/bin/xdotool", "search", "--name", "^Docker$"}, display_)) {
      std::istringstream ids(*found);
      ids >> trayWindow_;
    }
    if (trayWindow_ == 0) std::this_thread::sleep_for(50ms);
  }
  if (trayWindow_ == 0) return false;
  return runTool({"/usr/bin/xdotool", "windowmap", "--sync", std::to_string(trayWindow_)},
                 display_)
      .has_value();
}

int XvfbSession::dockedIcons() const {
  if (trayWindow_ == 0) return 0;
  std::optional<std::string> tree =
      runTool({"/usr/bin/xwininfo", "-children", "-id", std::to_string(trayWindow_)}, display_);
  if (!tree) return -1;
  // "     1 child:" or "     0 children."
  std::istringstream lines(*tree);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    int count = 0;
    std::string word;
    if (words >> count >> word && word.starts_with("child")) return count;
  }
  return -1;
}

}  // namespace tessary::testing
