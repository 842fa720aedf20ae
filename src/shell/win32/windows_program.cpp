#include "shell/win32/windows_program.h"

#include <shellapi.h>

#include <optional>

#include "capture/capture_backend_choice.h"
#include "common/display_probe.h"
#include "link/login_code_file.h"
#include "platform/windows/code_file_location.h"
#include "platform/windows/instance_mutex.h"
#include "platform/windows/layered_overlay.h"
#include "platform/windows/net_server_lan_browser.h"
#include "platform/windows/tcp_table_window_locator.h"
#include "platform/windows/udp_sender.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_termination.h"
#include "platform/windows/winsock_sockets.h"
#include "shell/tick_loop.h"
#include "shell/verbose_trace.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/win32_dialogs.h"
#include "shell/win32/win32_tray.h"

#ifdef TESSARY_HAVE_DIRECTSHOW
#include "platform/windows/directshow_capture_backend.h"
#endif
#ifdef TESSARY_HAVE_WEB
#include "web/web_server.h"
#endif

namespace tessary {
namespace {

constexpr std::int32_t kHeadlessScreenWidth = 160;
constexpr std::int32_t kHeadlessScreenHeight = 120;
// A termination request handed from the platform's thread to our loop.
constexpr UINT kExitRequest = WM_APP + 1;

std::unique_ptr<CaptureBackend> makePlatformCameraBackend() {
#ifdef TESSARY_HAVE_DIRECTSHOW
  return makeDirectShowCaptureBackend();
#else
  return nullptr;
#endif
}

#ifdef TESSARY_HAVE_WEB
constexpr SetupServerFactory kSetupServerFactory = &makeWebServer;
#else
constexpr SetupServerFactory kSetupServerFactory = nullptr;
#endif

std::string loadString(HINSTANCE instance, UINT id, const char* fallback) {
  char text[100] = {};
  return ::LoadStringA(instance, id, text, sizeof(text)) > 0 ? std::string(text) : std::string(fallback);
}

// The documents that ship beside the program.
std::string documentPath(std::string_view name) {
  wchar_t module[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring folder(module, length);
  folder.resize(folder.find_last_of(L"\\/") + 1);
  return utf8FromWide(folder) + std::string(name);
}

// Failures the user must see, such as an overlay that cannot be made.
class OverlayErrorBox {
 public:
  void show(std::string_view message) {
    printError(message);
    const std::string text(message);
    ::MessageBoxA(nullptr, text.c_str(), "Error", MB_OK | MB_ICONERROR);
  }
};

// --verbose: which presentation the overlay uses, said once at start-up.
class OverlayNotes {
 public:
  void note(std::string_view message) { traceLifecycle(message); }
};

class Win32ProgramHost final : public ProgramHost {
 public:
  Win32ProgramHost(HINSTANCE instance, const ProgramSettings& settings)
      : instance_(instance), settings_(settings), threadId_(::GetCurrentThreadId()) {}

  ~Win32ProgramHost() override {
    termination_.stopDelivery();
    detach();
  }

  // Headless there is no overlay for "watch" to move, as on Linux.
  ShellServices services() override {
    // OSC, but no MQTT: libmosquitto is not built for this program.
    return ShellServices{sockets_, settings_.options.headless ? nullptr : &windowLocator_, &lanBrowser_,
                         kSetupServerFactory, &openUdpSender, nullptr};
  }

  void attach(ShellSystem& system) override {
    system_ = &system;
    system.setLoginChanged(MemberCallback<>::bind(this, &Win32ProgramHost::onLoginChanged));
    if (settings_.options.headless) return;
    if (!createMainWindow()) {
      printError("cannot create the main window: running headless (no tray icon, no windows)");
      return;
    }
    overlay_ = std::make_unique<LayeredOverlay>(
        system.display(), system, MemberCallback<std::string_view>::bind(&errorBox_, &OverlayErrorBox::show),
        settings_.options.verbose ? MemberCallback<std::string_view>::bind(&notes_, &OverlayNotes::note)
                                  : MemberCallback<std::string_view>{});
    system.setOverlay(*overlay_);
  }

  ScreenSize screenSize() override {
    if (window_ == nullptr) return {kHeadlessScreenWidth, kHeadlessScreenHeight};
    return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }

  int run() override {
    // With a window the timers and requests go to it (modal dialogs keep
    // dispatching them); headless, to this thread's queue.
    frameTimer_ = ::SetTimer(window_, kFrameTickTimer.id, static_cast<UINT>(kFrameTickTimer.period.count()), nullptr);
    slowTimer_ = ::SetTimer(window_, kSlowTickTimer.id, static_cast<UINT>(kSlowTickTimer.period.count()), nullptr);
    HWND window = window_;
    DWORD thread = threadId_;
    termination_.startDelivery([window, thread] {
      if (window != nullptr) {
        ::PostMessageA(window, kExitRequest, 0, 0);
      } else {
        ::PostThreadMessageA(thread, kExitRequest, 0, 0);
      }
    });

    MSG message{};
    int exitCode = 0;
    for (;;) {
      const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
      if (got == 0) {
        exitCode = static_cast<int>(message.wParam);
        break;
      }
      if (got < 0) break;
      if (message.hwnd == nullptr && handleThreadMessage(message)) continue;
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }

    termination_.stopDelivery();
    ::KillTimer(window_, frameTimer_);
    ::KillTimer(window_, slowTimer_);
    return exitCode;
  }

  void detach() override {
    if (system_ != nullptr) system_->setLoginChanged({});
    overlay_.reset();
    tray_.reset();
    if (window_ != nullptr) {
      ::SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
      ::DestroyWindow(window_);
      window_ = nullptr;
    }
    system_ = nullptr;
  }

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* host = reinterpret_cast<Win32ProgramHost*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (host != nullptr) {
      if (std::optional<LRESULT> result = host->handle(window, message, wParam, lParam)) return *result;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
  }

  std::optional<LRESULT> handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_TIMER:
        tick(static_cast<UINT_PTR>(wParam));
        return 0;
      case WM_COMMAND:
        if (lParam == 0) runCommand(LOWORD(wParam));
        return 0;
      case kTrayMessage:
        if (tray_) tray_->onNotification(lParam);
        return 0;
      case WM_LBUTTONDOWN:
        // Back to the tray.
        if (tray_) tray_->add(system_ != nullptr && system_->loggedIn());
        ::ShowWindow(window, SW_HIDE);
        if (system_ != nullptr) system_->ticks().setInTray(true);
        return 0;
      case WM_PAINT: {
        PAINTSTRUCT paint;
        ::BeginPaint(window, &paint);
        ::EndPaint(window, &paint);
        return 0;
      }
      case kExitRequest:
      case WM_CLOSE:
      case WM_ENDSESSION:
        if (message != WM_ENDSESSION || wParam != FALSE) requestExit();
        return 0;
      case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
      default:
        if (message == taskbarCreated_ && taskbarCreated_ != 0 && tray_) {
          tray_->onTaskbarCreated();
          return 0;
        }
        return std::nullopt;
    }
  }

  bool handleThreadMessage(const MSG& message) {
    if (message.message == WM_TIMER) {
      tick(static_cast<UINT_PTR>(message.wParam));
      return true;
    }
    if (message.message == kExitRequest) {
      requestExit();
      return true;
    }
    return false;
  }

  void tick(UINT_PTR timer) {
    if (system_ == nullptr) return;
    if (timer == frameTimer_) system_->ticks().frameTick();
    else if (timer == slowTimer_) system_->ticks().slowTick();
  }

  bool createMainWindow() {
    const std::string title = loadString(instance_, IDS_APP_TITLE, "Tessary");
    const std::string className = loadString(instance_, IDS_WINDOW_CLASS, "TESSARY");
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &Win32ProgramHost::windowProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = ::LoadIconA(instance_, MAKEINTRESOURCEA(IDI_TESSARY));
    windowClass.hIconSm = ::LoadIconA(instance_, MAKEINTRESOURCEA(IDI_SMALL));
    windowClass.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className.c_str();
    if (::RegisterClassExA(&windowClass) == 0) return false;

    // A sizing pop-up just larger than the screen, its frame outside it.
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    RECT frame{0, 0, width + 1, height + 1};
    constexpr DWORD kStyle = WS_POPUP | WS_THICKFRAME;
    ::AdjustWindowRect(&frame, kStyle, FALSE);
    window_ = ::CreateWindowExA(0, className.c_str(), title.c_str(), kStyle, -::GetSystemMetrics(SM_CXSIZEFRAME),
                                -::GetSystemMetrics(SM_CYSIZEFRAME), frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, instance_, this);
    if (window_ == nullptr) return false;
    taskbarCreated_ = ::RegisterWindowMessageA("TaskbarCreated");

    tray_ = std::make_unique<Win32Tray>(window_, instance_, *system_, documentPath("README.md"),
                                        documentPath("protocol.md"));
    if (!tray_->add(false)) printError("no notification area found: no tray icon is shown");
    // A first start: tell the user where the code is set, once.
    if (!loginCodeSet()) tray_->showBalloon(kNoCodeBalloonTitle, kNoCodeBalloonText);
    ::ShowWindow(window_, SW_HIDE);
    return true;
  }

  bool loginCodeSet() const {
    const LoginCodeFile file(settings_.codeFile, settings_.codeFileIsDefault ? kLegacyCodeFilePath : "");
    std::string code;
    return file.read(code) == LoginCodeFile::ReadResult::kRead && !code.empty();
  }

  void runCommand(int command) {
    if (system_ == nullptr) return;
    switch (runTrayCommand(command, *system_)) {
      case TrayAction::kNone: break;
      case TrayAction::kEnterCode:
        runCodeDialog(instance_, window_, CodeDialogOptions{settings_.codeFile, settings_.codeFileIsDefault},
                      dialog_);
        break;
      case TrayAction::kAbout: runAboutDialog(instance_, window_, dialog_); break;
      case TrayAction::kHelp: runHelpDialog(instance_, window_, dialog_); break;
      case TrayAction::kOpenReadme: open(documentPath("README.md")); break;
      case TrayAction::kOpenProtocol: open(documentPath("protocol.md")); break;
      case TrayAction::kExit: requestExit(); break;
    }
  }

  void open(const std::string& path) {
    const std::wstring wide = wideFromUtf8(path);
    ::ShellExecuteW(window_, L"open", wide.c_str(), nullptr, L".", SW_SHOWNORMAL);
  }

  // Exit from the menu, the window's close or a termination request: the
  // icon goes, the window shows for the last ticks, then the loop ends.
  void requestExit() {
    if (exiting_) return;
    exiting_ = true;
    if (tray_) tray_->remove();
    if (system_ != nullptr) system_->ticks().setInTray(false);
    ::PostQuitMessage(0);
  }

  void onLoginChanged() {
    if (tray_ && system_ != nullptr) tray_->updateTip(system_->loggedIn());
  }

  HINSTANCE instance_;
  ProgramSettings settings_;
  DWORD threadId_;
  // Handlers first: a Ctrl+C during start-up must not kill us half-built.
  WindowsTermination termination_;
  WinsockSockets sockets_;
  // "get_lan" answers from a list kept up to date in the background.
  NetServerLanBrowser lanBrowser_;
  TcpTableWindowLocator windowLocator_;
  OverlayErrorBox errorBox_;
  OverlayNotes notes_;
  RichEditLibrary richEdit_;
  OpenDialog dialog_;
  ShellSystem* system_ = nullptr;
  HWND window_ = nullptr;
  UINT taskbarCreated_ = 0;
  std::unique_ptr<Win32Tray> tray_;
  std::unique_ptr<LayeredOverlay> overlay_;
  UINT_PTR frameTimer_ = 0;
  UINT_PTR slowTimer_ = 0;
  bool exiting_ = false;
};

}  // namespace

std::string WindowsPlatform::defaultCodeFile() { return windowsCodeFilePath(); }

std::string WindowsPlatform::legacyCodeFile() const { return kLegacyCodeFilePath; }


std::unique_ptr<InstanceGuard> WindowsPlatform::makeInstanceGuard() {
  return std::make_unique<InstanceMutex>();
}

bool WindowsPlatform::displayAvailable() { return ::tessary::displayAvailable(); }

std::unique_ptr<CaptureBackend> WindowsPlatform::makeCameraBackend(std::string_view source,
                                                                   std::string& error,
                                                                   std::string& choice) {
  return chooseCaptureBackend(source, kPlatformCameraSource, &makePlatformCameraBackend, error, &choice);
}

int WindowsPlatform::quitRunningCopy() {
  constexpr unsigned long kQuitTimeoutMs = 10'000;
  return ::tessary::quitRunningCopy(kQuitTimeoutMs);
}

std::unique_ptr<ProgramHost> WindowsPlatform::makeHost(const ProgramSettings& settings) {
  return std::make_unique<Win32ProgramHost>(instance_, settings);
}

}  // namespace tessary
