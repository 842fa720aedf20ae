// The tray icon with its tip and the "Tray" menu; the Qt face of the tray
// model in tray_model.h.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QUrl>

#include <functional>
#include <memory>
#include <string>

#include "shell/tray_model.h"

namespace tessary {

struct TrayOptions {
  std::string codeFilePath;
  bool codeFileIsDefault = false;  // then a missing folder is created
  QUrl readme;                     // the two documents of the "&WWW" submenu;
  QUrl protocol;                   // empty when not installed
  // Opens a document; QDesktopServices::openUrl unless a test replaces it.
  std::function<bool(const QUrl&)> openUrl;
};

class TrayIcon final : public QObject {
  Q_OBJECT

 public:
  TrayIcon(TrayController& controller, TrayOptions options, QObject* parent = nullptr);
  ~TrayIcon() override;

  // The tray "add": the icon appears with the current tip.
  void add(bool loggedIn);
  // The tray "delete": the icon disappears.
  void remove();
  void updateTip(bool loggedIn);

  QSystemTrayIcon& icon() { return icon_; }
  QMenu& menu() { return *menu_; }
  QMenu& cameraMenu() { return *cameraMenu_; }
  // Runs the menu command with this number, as choosing its item does.
  void runCommand(int command);

 signals:
  void exitRequested();

 private:
  void prepareMenu();  // before the menu opens: cameras once, check marks
  void buildCameraMenu();

  TrayController& controller_;
  TrayOptions options_;
  std::unique_ptr<QMenu> menu_;
  QMenu* cameraMenu_ = nullptr;
  QAction* mirrorAction_ = nullptr;
  QAction* flipAction_ = nullptr;
  CameraMenu cameras_;
  QSystemTrayIcon icon_;
};

// The program's icon, from the resources.
QIcon tessaryIcon();

}  // namespace tessary
