// The program from its command line to its exit code. The start-up here is
// the same on every platform; each platform's main supplies the services, the
// event loop and the windows through a ProgramPlatform.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "shell/command_line.h"
#include "shell/shell_system.h"

namespace tessary {

class CaptureBackend;
class InstanceGuard;

// The command line with the code file resolved.
struct ProgramSettings {
  ShellOptions options;          // options.headless is final: a missing display forces it
  std::string codeFile;
  bool codeFileIsDefault = false;  // then a missing folder is created when it is written
};

struct ScreenSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// The platform's event loop and windows around one running system, used in
// this order: services, attach, screenSize, run, detach.
class ProgramHost {
 public:
  virtual ~ProgramHost() = default;
  // The platform services the system uses; they live as long as the host.
  virtual ShellServices services() = 0;
  // Before start-up: the tray icon and the overlay, if not headless.
  virtual void attach(ShellSystem& system) = 0;
  // The primary screen's size; camera pixels when headless.
  virtual ScreenSize screenSize() = 0;
  // Runs the two tick timers and the event loop until the user or a
  // termination request ends the program; the timers have stopped on return.
  // Returns the exit code.
  virtual int run() = 0;
  // After the system has shut down: takes down what attach made.
  virtual void detach() = 0;
};

class ProgramPlatform {
 public:
  // The code file used without --code-file; empty when there is no folder
  // for it (then codeFolderHint() names the variables looked at).
  virtual std::string defaultCodeFile() = 0;
  virtual std::string_view codeFolderHint() const = 0;
  // Read while the default code file does not exist; empty for none.
  virtual std::string legacyCodeFile() const { return {}; }
  virtual std::unique_ptr<InstanceGuard> makeInstanceGuard() = 0;
  // Whether windows can be shown at all; without, the program runs headless.
  virtual bool displayAvailable() = 0;
  // The camera backend for --camera; null with `error` set when it cannot be
  // made. `choice` receives, for "auto", one line saying which camera was
  // chosen and why.
  virtual std::unique_ptr<CaptureBackend> makeCameraBackend(std::string_view source,
                                                            std::string& error,
                                                            std::string& choice) = 0;
  // --quit: ends the running copy; the exit code (only where the option exists).
  virtual int quitRunningCopy() { return 1; }
  // The event loop, and unless headless the windowing toolkit. Termination
  // requests are handled from here on.
  virtual std::unique_ptr<ProgramHost> makeHost(const ProgramSettings& settings) = 0;

 protected:
  ~ProgramPlatform() = default;
};

// `args` excludes the program name.
int runProgram(std::span<const std::string_view> args, ProgramPlatform& platform);

// "tessary: MESSAGE" on standard error.
void printError(std::string_view message);

}  // namespace tessary
