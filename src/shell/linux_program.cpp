#include "shell/linux_program.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QUrl>

#include "common/display_probe.h"
#include "link/login_code_file.h"
#include "platform/linux/avahi_lan_browser.h"
#include "platform/linux/gstreamer_capture_backend.h"
#include "platform/linux/instance_lock.h"
#include "platform/linux/mosquitto_connection.h"
#include "platform/linux/posix_sockets.h"
#include "platform/linux/signal_pipe.h"
#include "platform/linux/udp_sender.h"
#include "platform/linux/x11_overlay.h"
#include "platform/linux/x11_window_locator.h"
#include "shell/shell_host.h"
#include "shell/tray_icon.h"
#include "web/web_server.h"

#ifndef TESSARY_VERSION
#define TESSARY_VERSION "unknown"
#endif
#ifndef TESSARY_DOC_DIR
#define TESSARY_DOC_DIR "/usr/local/share/doc/tessary"
#endif

namespace tessary {
namespace {

constexpr std::int32_t kHeadlessScreenWidth = 160;
constexpr std::int32_t kHeadlessScreenHeight = 120;

// An installed document of the program: next to it (bin/../share/doc) or
// under the prefix it was built for. Empty when it is not installed; a
// program run from its build tree offers no paths into that tree.
QUrl documentUrl(const QString& name) {
  QString besideProgram = QCoreApplication::applicationDirPath() + "/../share/doc/tessary/" + name;
  for (const QString& path : {besideProgram, QString(TESSARY_DOC_DIR "/") + name}) {
    QFileInfo info(path);
    if (info.exists()) return QUrl::fromLocalFile(info.canonicalFilePath());
  }
  return {};
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

class QtProgramHost final : public ProgramHost {
 public:
  QtProgramHost(int& argc, char** argv, const ProgramSettings& settings) : settings_(settings) {
    if (headless()) {
      application_ = std::make_unique<QCoreApplication>(argc, argv);
    } else {
      auto gui = std::make_unique<QApplication>(argc, argv);
      gui->setQuitOnLastWindowClosed(false);
      gui->setWindowIcon(tessaryIcon());
      application_ = std::move(gui);
      // "watch" needs the windows of the desktop.
      windowLocator_ = std::make_unique<X11WindowLocator>();
    }
    QCoreApplication::setApplicationName("Tessary");
    QCoreApplication::setApplicationVersion(TESSARY_VERSION);
  }

  ShellServices services() override {
    return ShellServices{sockets_,       windowLocator_.get(), &lanBrowser_,
                         &makeWebServer, &openUdpSender,       &makeMosquittoConnection};
  }

  void attach(ShellSystem& system) override {
    system_ = &system;
    // The main window's place: the tray icon, shown at once.
    if (!headless()) {
      TrayOptions options;
      options.codeFilePath = settings_.codeFile;
      options.codeFileIsDefault = settings_.codeFileIsDefault;
      options.readme = documentUrl("README.md");
      options.protocol = documentUrl("protocol.md");
      tray_ = std::make_unique<TrayIcon>(system, std::move(options));
      tray_->add(false);
      if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        printError("no system tray found: no tray icon is shown until one starts");
      }
      // The overlay needs the windows; in headless mode there is none.
      overlay_ = std::make_unique<X11Overlay>(
          system.display(), system,
          MemberCallback<std::string_view>::bind(&errorBox_, &OverlayErrorBox::show));
      system.setOverlay(*overlay_);
    }
    host_ = std::make_unique<ShellHost>(system, tray_.get(), &termination_);
  }

  ScreenSize screenSize() override {
    // Without a desktop the client's coordinates default to camera pixels.
    QScreen* screen = headless() ? nullptr : QGuiApplication::primaryScreen();
    if (screen == nullptr) return {kHeadlessScreenWidth, kHeadlessScreenHeight};
    return {screen->geometry().width(), screen->geometry().height()};
  }

  int run() override {
    if (overlay_) {
      host_->setAfterFrameTick([this] { overlay_->processEvents(); });
      if (overlay_->connectionFd() >= 0) {
        overlayEvents_ = std::make_unique<QSocketNotifier>(overlay_->connectionFd(), QSocketNotifier::Read);
        QObject::connect(overlayEvents_.get(), &QSocketNotifier::activated,
                         [this] { overlay_->processEvents(); });
      }
    }
    host_->startTimers();
    int exitCode = QCoreApplication::exec();
    host_->stopTimers();
    overlayEvents_.reset();
    return exitCode;
  }

  void detach() override {
    host_.reset();
    if (tray_) tray_->remove();
    tray_.reset();
    overlay_.reset();
    system_ = nullptr;
  }

 private:
  bool headless() const { return settings_.options.headless; }

  ProgramSettings settings_;
  // Handlers first: a signal during start-up must not kill us half-built.
  SignalPipe termination_;
  std::unique_ptr<QCoreApplication> application_;
  PosixSockets sockets_;
  // "get_lan" answers from a list kept up to date in the background.
  AvahiLanBrowser lanBrowser_;
  std::unique_ptr<X11WindowLocator> windowLocator_;
  OverlayErrorBox errorBox_;
  ShellSystem* system_ = nullptr;
  std::unique_ptr<TrayIcon> tray_;
  std::unique_ptr<X11Overlay> overlay_;
  std::unique_ptr<QSocketNotifier> overlayEvents_;
  std::unique_ptr<ShellHost> host_;
};

}  // namespace

std::string LinuxPlatform::defaultCodeFile() { return LoginCodeFile::defaultPath(); }


std::unique_ptr<InstanceGuard> LinuxPlatform::makeInstanceGuard() {
  return std::make_unique<InstanceLock>();
}

bool LinuxPlatform::displayAvailable() { return ::tessary::displayAvailable(); }

std::unique_ptr<CaptureBackend> LinuxPlatform::makeCameraBackend(std::string_view source,
                                                                 std::string& error,
                                                                 std::string& choice) {
  return makeCaptureBackend(source, error, &choice);
}

std::unique_ptr<ProgramHost> LinuxPlatform::makeHost(const ProgramSettings& settings) {
  return std::make_unique<QtProgramHost>(argc_, argv_, settings);
}

}  // namespace tessary
