// The Linux program: the Linux services (POSIX sockets, the lock-file guard,
// signals, V4L2, Avahi, X11) and the Qt host with its tray icon and overlay.
#pragma once

#include <memory>

#include "shell/program.h"

namespace tessary {

class LinuxPlatform final : public ProgramPlatform {
 public:
  // Qt keeps references to both for the life of its application object.
  LinuxPlatform(int& argc, char** argv) : argc_(argc), argv_(argv) {}

  std::string defaultCodeFile() override;
  std::string_view codeFolderHint() const override { return "$XDG_CONFIG_HOME, $HOME"; }
  std::unique_ptr<InstanceGuard> makeInstanceGuard() override;
  bool displayAvailable() override;
  std::unique_ptr<CaptureBackend> makeCameraBackend(std::string_view source, std::string& error,
                                                    std::string& choice) override;
  std::unique_ptr<ProgramHost> makeHost(const ProgramSettings& settings) override;

 private:
  int& argc_;
  char** argv_;
};

}  // namespace tessary
