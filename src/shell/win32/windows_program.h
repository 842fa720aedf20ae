// The Windows program: the Windows services (Winsock, the named mutex,
// console events, DirectShow, the TCP table and window
// search behind "watch", the browser service behind "get_lan") and the Win32
// host with its hidden main window, tray icon, dialogs and overlay.
#pragma once

#include <windows.h>

#include <memory>

#include "shell/program.h"

namespace tessary {

class WindowsPlatform final : public ProgramPlatform {
 public:
  explicit WindowsPlatform(HINSTANCE instance) : instance_(instance) {}

  std::string defaultCodeFile() override;
  std::string_view codeFolderHint() const override { return "%APPDATA%"; }
  std::string legacyCodeFile() const override;
  std::unique_ptr<InstanceGuard> makeInstanceGuard() override;
  bool displayAvailable() override;
  std::unique_ptr<CaptureBackend> makeCameraBackend(std::string_view source, std::string& error,
                                                    std::string& choice) override;
  int quitRunningCopy() override;
  std::unique_ptr<ProgramHost> makeHost(const ProgramSettings& settings) override;

 private:
  HINSTANCE instance_;
};

}  // namespace tessary
