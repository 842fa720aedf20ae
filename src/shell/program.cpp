#include "shell/program.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QUrl>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "display/display_state.h"
#include "link/login_code_file.h"
#include "platform/linux/avahi_lan_browser.h"
#include "platform/linux/instance_lock.h"
#include "platform/linux/posix_sockets.h"
#include "platform/linux/signal_pipe.h"
#include "platform/linux/v4l2_capture_backend.h"
#include "platform/linux/x11_overlay.h"
#include "platform/linux/x11_window_locator.h"
#include "shell/camera_setup.h"
#include "shell/code_file.h"
#include "shell/command_line.h"
#include "shell/display_probe.h"
#include "shell/shell_host.h"
#include "shell/shell_system.h"
#include "shell/tray_icon.h"

#ifndef TESSARY_VERSION
#define TESSARY_VERSION "unknown"
#endif
#ifndef TESSARY_SOURCE_DIR
#define TESSARY_SOURCE_DIR "."
#endif
#ifndef TESSARY_DOC_DIR
#define TESSARY_DOC_DIR "/usr/local/share/doc/tessary"
#endif

namespace tessary {
namespace {

constexpr std::int32_t kHeadlessScreenWidth = 160;
constexpr std::int32_t kHeadlessScreenHeight = 120;

void printError(std::string_view message) {
  std::fprintf(stderr, "tessary: %.*s\n", static_cast<int>(message.size()), message.data());
}

// The documents that ship with the program: installed next to it, or the
// source tree it was built from.
QUrl documentUrl(const QString& installedName, const QString& sourceName) {
  QString installed = QCoreApplication::applicationDirPath() + "/../share/doc/tessary/" + installedName;
  for (const QString& path : {installed, QString(TESSARY_DOC_DIR "/") + installedName,
                              QString(TESSARY_SOURCE_DIR "/") + sourceName}) {
    QFileInfo info(path);
    if (info.exists()) return QUrl::fromLocalFile(info.canonicalFilePath());
  }
  return QUrl::fromLocalFile(QString(TESSARY_SOURCE_DIR "/") + sourceName);
}

// Failures the user must see, such as an overlay that cannot be made.
class OverlayErrorBox {
 public:
  void show(std::string_view message) {
    printError(message);
    QMessageBox::critical(nullptr, "Error",
                          QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size())));
  }
};

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

// Without a desktop the client's coordinates default to camera pixels.
QSize screenSize(bool headless) {
  QScreen* screen = headless ? nullptr : QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry().size()
                           : QSize(kHeadlessScreenWidth, kHeadlessScreenHeight);
}

std::unique_ptr<TrayIcon> makeTray(ShellSystem& system, const std::string& codeFile,
                                   bool codeFileIsDefault) {
  TrayOptions options;
  options.codeFilePath = codeFile;
  options.codeFileIsDefault = codeFileIsDefault;
  options.readme = documentUrl("README.md", "README.md");
  options.protocol = documentUrl("protocol.md", "docs/protocol.md");
  auto tray = std::make_unique<TrayIcon>(system, std::move(options));
  tray->add(false);
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    printError("no system tray found: no tray icon is shown until one starts");
  }
  return tray;
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
  if (!options.webPort) return;
  if (system.webListening()) {
    std::printf("Tessary setup page at http://127.0.0.1:%u/\n",
                static_cast<unsigned>(system.webPort()));
    std::fflush(stdout);
  } else {
    printError("cannot serve the setup page on port " + std::to_string(*options.webPort) + ": " +
               system.webErrorText() + "; running without it (try --web-port 0)");
  }
}

}  // namespace

int runProgram(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  CommandLineResult parsed = parseCommandLine(args);
  if (!parsed.ok) {
    printError(parsed.error);
    std::fputs("Try 'tessary --help' for more information.\n", stderr);
    return kExitUsage;
  }
  ShellOptions options = parsed.options;
  if (options.showHelp) {
    std::fputs(usageText().c_str(), stdout);
    return 0;
  }
  if (options.showVersion) {
    std::puts("Tessary " TESSARY_VERSION);
    return 0;
  }

  bool codeFileIsDefault = options.codeFile.empty();
  std::string codeFile = codeFileIsDefault ? LoginCodeFile::defaultPath() : options.codeFile;
  if (codeFile.empty()) {
    printError("cannot find the configuration folder ($XDG_CONFIG_HOME, $HOME); give --code-file");
    return 1;
  }
  if (options.setCode) return setCode(codeFile, codeFileIsDefault);

  InstanceLock instance;
  switch (instance.acquire()) {
    case InstanceGuard::Outcome::kFirst: break;
    case InstanceGuard::Outcome::kAnotherRunning:
      // Another copy serves this user already.
      return 0;
    case InstanceGuard::Outcome::kUnavailable:
      printError("cannot take the single-instance lock " + instance.path() + "; running anyway");
      break;
  }

  // One line says why nothing will be shown.
  if (options.headless) {
    printError("headless: no tray icon, no windows, no overlay");
  } else if (!displayAvailable()) {
    options.headless = true;
    printError("no display found: running headless (no tray icon, no windows, no overlay)");
  }

  // Handlers first: a signal during start-up must not kill us half-built.
  SignalPipe termination;
  std::unique_ptr<QCoreApplication> application;
  if (options.headless) {
    application = std::make_unique<QCoreApplication>(argc, argv);
  } else {
    auto gui = std::make_unique<QApplication>(argc, argv);
    gui->setQuitOnLastWindowClosed(false);
    gui->setWindowIcon(tessaryIcon());
    application = std::move(gui);
  }
  QCoreApplication::setApplicationName("Tessary");
  QCoreApplication::setApplicationVersion(TESSARY_VERSION);

  PosixSockets sockets;
  ShellConfig config;
  config.port = options.port;
  config.codeFilePath = codeFile;
  config.verbose = options.verbose;
  config.webPort = options.webPort;
  // "get_lan" answers from a list kept up to date in the background.
  AvahiLanBrowser lanBrowser;
  // "watch" needs the windows of the desktop.
  std::unique_ptr<X11WindowLocator> windowLocator;
  if (!options.headless) windowLocator = std::make_unique<X11WindowLocator>();
  ShellServices services{sockets, windowLocator.get(), &lanBrowser};
  std::string cameraError;
  std::unique_ptr<CaptureBackend> backend = makeCaptureBackend(options.cameraSource, cameraError);
  if (!backend) printError("camera '" + options.cameraSource + "': " + cameraError);
  ShellSystem system(config, services, [&backend](VideoController& controller) {
    return makeControllerCameras(controller, std::move(backend));
  });

  // The main window's place: the tray icon, shown at once.
  std::unique_ptr<TrayIcon> tray;
  if (!options.headless) tray = makeTray(system, codeFile, codeFileIsDefault);

  QSize screen = screenSize(options.headless);

  // The overlay needs the windows; in headless mode there is none.
  std::unique_ptr<X11Overlay> overlay;
  std::unique_ptr<QSocketNotifier> overlayEvents;
  OverlayErrorBox errorBox;
  if (!options.headless) {
    overlay = std::make_unique<X11Overlay>(
        system.display(), system,
        MemberCallback<std::string_view>::bind(&errorBox, &OverlayErrorBox::show));
    system.setOverlay(*overlay);
  }

  ShellHost host(system, tray.get(), &termination);
  system.start(screen.width(), screen.height());
  if (overlay) {
    host.setAfterFrameTick([&overlay] { overlay->processEvents(); });
    if (overlay->connectionFd() >= 0) {
      overlayEvents = std::make_unique<QSocketNotifier>(overlay->connectionFd(), QSocketNotifier::Read);
      QObject::connect(overlayEvents.get(), &QSocketNotifier::activated,
                       [&overlay] { overlay->processEvents(); });
    }
  }
  reportStartUp(system, options);
  host.startTimers();
  QCoreApplication::exec();

  host.stopTimers();
  overlayEvents.reset();
  system.shutDown();
  if (tray) tray->remove();
  return 0;
}

}  // namespace tessary
