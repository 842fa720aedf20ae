#include "shell/program.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <utility>

#include "capture/capture_backend.h"
#include "common/instance_guard.h"
#include "shell/camera_setup.h"
#include "shell/code_file.h"

#ifndef TESSARY_VERSION
#define TESSARY_VERSION "unknown"
#endif

namespace tessary {
namespace {

int setCode(const std::string& path, bool isDefault) {
  std::optional<std::string> code = readCodeLine(std::cin);
  if (!code) {
    printError("no code on standard input; the code file is unchanged");
    return 1;
  }
  if (!writeCodeFile(path, *code, isDefault)) {
    printError(codeFileErrorText(path));
    return 1;
  }
  return 0;
}

// The listening line goes to standard output, flushed at once, so a program
// reading the pipe sees it; everything else to standard error.
void reportStartUp(const ShellSystem& system, const ShellOptions& options) {
  if (!system.camerasReady()) {
    printError("no camera offering 160 x 120 found with '" + options.cameraSource +
               "'; zones will see no motion (try --camera demo)");
  }
  if (system.listening()) {
    std::printf("Tessary %s listening on port %u\n", TESSARY_VERSION,
                static_cast<unsigned>(system.port()));
    std::fflush(stdout);
  } else {
    printError("cannot listen on port " + std::to_string(options.port) + ": " +
               system.linkErrorText() + "; running without clients");
  }
}

}  // namespace

void printError(std::string_view message) {
  std::fprintf(stderr, "tessary: %.*s\n", static_cast<int>(message.size()), message.data());
}

int runProgram(std::span<const std::string_view> args, ProgramPlatform& platform) {
  CommandLineResult parsed = parseCommandLine(args);
  if (!parsed.ok) {
    printError(parsed.error);
    std::fputs("Try 'tessary --help' for more information.\n", stderr);
    return kExitUsage;
  }
  ProgramSettings settings;
  settings.options = parsed.options;
  ShellOptions& options = settings.options;
  if (options.showHelp) {
    std::fputs(usageText().c_str(), stdout);
    return 0;
  }
  if (options.showVersion) {
    std::puts("Tessary " TESSARY_VERSION);
    return 0;
  }

  if (options.quit) return platform.quitRunningCopy();

  settings.codeFileIsDefault = options.codeFile.empty();
  settings.codeFile = settings.codeFileIsDefault ? platform.defaultCodeFile() : options.codeFile;
  if (settings.codeFile.empty()) {
    printError("cannot find the configuration folder (" + std::string(platform.codeFolderHint()) +
               "); give --code-file");
    return 1;
  }
  if (options.setCode) return setCode(settings.codeFile, settings.codeFileIsDefault);

  std::unique_ptr<InstanceGuard> instance = platform.makeInstanceGuard();
  switch (instance->acquire()) {
    case InstanceGuard::Outcome::kFirst: break;
    case InstanceGuard::Outcome::kAnotherRunning:
      // Another copy serves this user already.
      return 0;
    case InstanceGuard::Outcome::kUnavailable:
      printError("cannot take the single-instance lock " + instance->describe() + "; running anyway");
      break;
  }

  // One line says why nothing will be shown.
  if (options.headless) {
    printError("headless: no tray icon, no windows, no overlay");
  } else if (!platform.displayAvailable()) {
    options.headless = true;
    printError("no display found: running headless (no tray icon, no windows, no overlay)");
  }

  std::unique_ptr<ProgramHost> host = platform.makeHost(settings);

  ShellConfig config;
  config.port = options.port;
  config.codeFilePath = settings.codeFile;
  if (settings.codeFileIsDefault) config.fallbackCodeFilePath = platform.legacyCodeFile();
  config.verbose = options.verbose;
  std::string cameraError;
  std::unique_ptr<CaptureBackend> backend = platform.makeCameraBackend(options.cameraSource, cameraError);
  if (!backend) printError("camera '" + options.cameraSource + "': " + cameraError);
  ShellSystem system(config, host->services(), [&backend, &platform](VideoController& controller) {
    return makeControllerCameras(controller, std::move(backend), platform.timerDevice());
  });

  host->attach(system);
  ScreenSize screen = host->screenSize();
  system.start(screen.width, screen.height);
  reportStartUp(system, options);
  int exitCode = host->run();
  system.shutDown();
  host->detach();
  return exitCode;
}

}  // namespace tessary
