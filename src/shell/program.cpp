#include "shell/program.h"

#include <algorithm>
#include <chrono>
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

// The program could not start as asked (no server, an unusable camera source).
constexpr int kExitStartUpFailed = 1;

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
  std::printf("Login code stored in %s\n", path.c_str());
  return 0;
}

// The camera backend the --camera option names, or null (the reason
// printed) when that source cannot be used at all.
std::unique_ptr<CaptureBackend> chooseCamera(ProgramPlatform& platform, const std::string& source) {
  std::string error, choice;
  std::unique_ptr<CaptureBackend> backend = platform.makeCameraBackend(source, error, choice);
  if (!backend) printError("camera '" + source + "': " + error);
  if (!choice.empty()) printError(choice);
  return backend;
}

// The listening line goes to standard output, flushed at once, so a program
// reading the pipe sees it; everything else to standard error. False when
// the server could not be opened: a program no client can reach must end.
bool reportStartUp(const ShellSystem& system, const ShellOptions& options) {
  if (!system.listening()) {
    const std::string where = options.listenAddress == kEveryAddress
                                  ? std::string()
                                  : addressText(options.listenAddress) + " ";
    printError("cannot listen on " + where + "port " + std::to_string(options.port) + ": " +
               system.linkErrorText());
    return false;
  }
  if (!system.outputErrorText().empty()) {
    printError(system.outputErrorText());
    return false;
  }
  if (!system.camerasReady()) {
    printError("no camera found with '" + options.cameraSource +
               "'; zones will see no motion (try --camera demo)");
  }
  std::printf("Tessary %s listening on port %u\n", TESSARY_VERSION,
              static_cast<unsigned>(system.port()));
  std::fflush(stdout);
  if (options.webPort) {
    if (system.webListening()) {
      // The warning comes before the page's line, which tells a script that
      // the program is ready: by then everything about start-up is said.
      if (std::find(options.webOrigins.begin(), options.webOrigins.end(), "*") !=
          options.webOrigins.end()) {
        printError("--web-origin '*': pages of every web site may be a WebSocket client and try "
                   "login codes");
      }
      std::printf("Tessary setup page at http://%s:%u/\n", system.webAddress().c_str(),
                  static_cast<unsigned>(system.webPort()));
      std::fflush(stdout);
    } else if (system.hasWebServer()) {
      // The TCP clients are served all the same. (A program built without
      // the web server, for want of Boost, has no setup page to miss.)
      printError("cannot serve the setup page on port " + std::to_string(*options.webPort) + ": " +
                 system.webErrorText() + "; running without it (try --web-port 0)");
    }
  }
  return true;
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
      // Another copy serves this user already; that is no failure.
      printError("Tessary is already running for this user; this copy ends");
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

  // A zones file that cannot be read ends the program before anything runs:
  // an installation without its zones would sit there doing nothing.
  std::optional<std::vector<ZonesFileLine>> zonesFile;
  if (!options.zonesFile.empty()) {
    std::string error;
    zonesFile = readZonesFile(options.zonesFile, error);
    if (!zonesFile) {
      printError(error);
      return kExitStartUpFailed;
    }
  }

  std::unique_ptr<ProgramHost> host = platform.makeHost(settings);

  ShellConfig config;
  config.port = options.port;
  config.listenAddress = options.listenAddress;
  config.codeFilePath = settings.codeFile;
  if (settings.codeFileIsDefault) config.fallbackCodeFilePath = platform.legacyCodeFile();
  config.verbose = options.verbose;
  config.webPort = options.webPort;
  config.webOrigins = options.webOrigins;
  config.loginTimeout = std::chrono::seconds(options.loginTimeoutSeconds);
  config.zonesFilePath = options.zonesFile;
  config.zonesFile = std::move(zonesFile);
  for (const OscTarget& target : options.osc) config.oscReceivers.push_back({target.host, target.port});
  if (options.mqtt) {
    MqttOutputSettings mqtt;
    mqtt.host = options.mqtt->host;
    mqtt.port = options.mqtt->port;
    mqtt.prefix = options.mqtt->prefix;
    mqtt.offDelay = std::chrono::milliseconds(static_cast<std::int64_t>(options.mqttOffDelaySeconds * 1000));
    mqtt.discovery = options.mqttDiscovery;
    config.mqtt = std::move(mqtt);
  }
  config.report = [](std::string_view line) { printError(line); };
  std::unique_ptr<CaptureBackend> backend = chooseCamera(platform, options.cameraSource);
  if (!backend) return kExitStartUpFailed;
  ShellSystem system(config, host->services(), [&backend, &platform](VideoController& controller) {
    return makeControllerCameras(controller, std::move(backend));
  });

  host->attach(system);
  ScreenSize screen = host->screenSize();
  system.start(screen.width, screen.height);
  if (!reportStartUp(system, options)) {
    system.shutDown();
    host->detach();
    return kExitStartUpFailed;
  }
  int exitCode = host->run();
  system.shutDown();
  host->detach();
  return exitCode;
}

}  // namespace tessary
