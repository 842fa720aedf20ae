#include "shell/win32/win32_tray.h"

#include <shellapi.h>

#include <cstring>

#include "shell/win32/resource_ids.h"

namespace tessary {
namespace {

// `text`, cut to what the field holds, and its NUL.
template <std::size_t N>
void copyText(char (&field)[N], std::string_view text) {
  const std::size_t length = std::min<std::size_t>(text.size(), N - 1);
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

}  // namespace

Win32Tray::Win32Tray(HWND owner, HINSTANCE instance, TrayController& controller, std::string readme,
                     std::string protocol)
    : owner_(owner), controller_(controller) {
  icon_ = static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(IDI_SMALL), IMAGE_ICON,
                                          ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                          LR_DEFAULTCOLOR));
  menu_ = ::CreatePopupMenu();
  for (const TrayMenuItem& item : trayMenuItems()) {
    const std::string text(item.text);
    switch (item.kind) {
      case TrayItemKind::kSeparator:
        ::AppendMenuA(menu_, MF_SEPARATOR, 0, nullptr);
        break;
      case TrayItemKind::kCameraSubmenu:
        cameraMenu_ = ::CreatePopupMenu();
        ::AppendMenuA(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(cameraMenu_), text.c_str());
        break;
      case TrayItemKind::kWebSubmenu: {
        HMENU web = ::CreatePopupMenu();
        ::AppendMenuA(web, MF_STRING, kCommandOpenReadme, readme.c_str());
        ::AppendMenuA(web, MF_STRING, kCommandOpenProtocol, protocol.c_str());
        ::AppendMenuA(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(web), text.c_str());
        break;
      }
      case TrayItemKind::kCommand:
        ::AppendMenuA(menu_, MF_STRING, static_cast<UINT_PTR>(item.command), text.c_str());
        break;
    }
  }
  refreshCameraMenu();
}

Win32Tray::~Win32Tray() {
  remove();
  if (menu_ != nullptr) ::DestroyMenu(menu_);
  if (icon_ != nullptr) ::DestroyIcon(icon_);
}

NOTIFYICONDATAA Win32Tray::iconData(bool loggedIn) const {
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof(data);
  data.hWnd = owner_;
  data.uID = kTrayIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = icon_;
  // The first version of the record holds 63 characters of tip.
  copyText(data.szTip, trayTipText(loggedIn).substr(0, 63));
  return data;
}

bool Win32Tray::add(bool loggedIn) {
  loggedIn_ = loggedIn;
  NOTIFYICONDATAA data = iconData(loggedIn);
  shown_ = ::Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
  return shown_;
}

void Win32Tray::remove() {
  if (!shown_) return;
  NOTIFYICONDATAA data = iconData(loggedIn_);
  ::Shell_NotifyIconA(NIM_DELETE, &data);
  shown_ = false;
}

void Win32Tray::updateTip(bool loggedIn) {
  loggedIn_ = loggedIn;
  if (!shown_) return;
  NOTIFYICONDATAA data = iconData(loggedIn);
  data.uFlags = NIF_TIP;
  ::Shell_NotifyIconA(NIM_MODIFY, &data);
}

void Win32Tray::showBalloon(std::string_view title, std::string_view text) {
  if (!shown_) return;
  NOTIFYICONDATAA data = iconData(loggedIn_);
  data.uFlags = NIF_INFO;
  copyText(data.szInfoTitle, title);
  copyText(data.szInfo, text);
  data.dwInfoFlags = NIIF_INFO;
  ::Shell_NotifyIconA(NIM_MODIFY, &data);
}

void Win32Tray::onTaskbarCreated() {
  if (shown_) {
    shown_ = false;
    add(loggedIn_);
  }
}

void Win32Tray::onNotification(LPARAM lParam) {
  const UINT mouse = LOWORD(lParam);
  if (mouse == WM_RBUTTONDOWN || mouse == WM_CONTEXTMENU) openMenu();
}

void Win32Tray::refreshCameraMenu() {
  while (::GetMenuItemCount(cameraMenu_) > 0) ::DeleteMenu(cameraMenu_, 0, MF_BYPOSITION);
  for (const CameraMenuEntry& entry : cameras_.entries()) {
    ::AppendMenuA(cameraMenu_, MF_STRING | (entry.checked ? MF_CHECKED : MF_UNCHECKED),
                  static_cast<UINT_PTR>(entry.command), entry.text.c_str());
  }
}

void Win32Tray::openMenu() {
  POINT cursor{};
  ::GetCursorPos(&cursor);
  cameras_.fillOnce(controller_);
  cameras_.updateChecks(controller_);
  refreshCameraMenu();
  ::CheckMenuItem(menu_, kCommandMirror, MF_BYCOMMAND | (controller_.mirrored() ? MF_CHECKED : MF_UNCHECKED));
  ::CheckMenuItem(menu_, kCommandFlip, MF_BYCOMMAND | (controller_.flipped() ? MF_CHECKED : MF_UNCHECKED));
  // Without the foreground the menu would not close on a click elsewhere,
  // and without the empty message after it, it would not close on the
  // second attempt either.
  ::SetForegroundWindow(owner_);
  ::TrackPopupMenu(menu_, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, owner_, nullptr);
  ::PostMessageA(owner_, WM_NULL, 0, 0);
}

}  // namespace tessary
