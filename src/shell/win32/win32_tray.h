// The tray icon with its tip and the "Tray" menu on Win32: the notification
// icon (Shell_NotifyIcon) owned by the hidden main window, and a popup menu
// built from the tray model. Main thread only.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "shell/tray_model.h"

namespace tessary {

// The tray icon's notification message to the main window.
inline constexpr UINT kTrayMessage = WM_APP + 100;
inline constexpr UINT kTrayIconId = 175;

// What a first start without a login code says, once, from the icon.
inline constexpr std::string_view kNoCodeBalloonTitle = "Tessary has no login code yet";
inline constexpr std::string_view kNoCodeBalloonText =
    "Right-click this icon and choose \"Enter New Code\" to set one.";

class Win32Tray {
 public:
  // `readme` and `protocol` are the texts of the "&WWW" submenu's items.
  Win32Tray(HWND owner, HINSTANCE instance, TrayController& controller, std::string readme,
            std::string protocol);
  ~Win32Tray();
  Win32Tray(const Win32Tray&) = delete;
  Win32Tray& operator=(const Win32Tray&) = delete;

  // The tray "add": the icon appears with the current tip. False when the
  // shell has no notification area (yet).
  bool add(bool loggedIn);
  // The tray "delete": the icon disappears.
  void remove();
  void updateTip(bool loggedIn);
  // A balloon from the icon (the tip stays as it is); nothing while the
  // icon is not shown. Texts longer than the record holds are cut.
  void showBalloon(std::string_view title, std::string_view text);
  bool shown() const { return shown_; }

  // A notification from the icon (the mouse message in lParam); a right
  // click or the context-menu key opens the menu.
  void onNotification(LPARAM lParam);
  // Fills the cameras once, sets the check marks and shows the menu at the
  // cursor; the chosen command arrives as WM_COMMAND.
  void openMenu();
  // Re-adds the icon after the taskbar was re-created (Explorer restarted).
  void onTaskbarCreated();

  HMENU menu() const { return menu_; }
  HMENU cameraMenu() const { return cameraMenu_; }

 private:
  NOTIFYICONDATAA iconData(bool loggedIn) const;
  void refreshCameraMenu();

  HWND owner_;
  TrayController& controller_;
  HICON icon_ = nullptr;
  HMENU menu_ = nullptr;       // owns the submenus
  HMENU cameraMenu_ = nullptr;
  CameraMenu cameras_;
  bool shown_ = false;
  bool loggedIn_ = false;
};

}  // namespace tessary
