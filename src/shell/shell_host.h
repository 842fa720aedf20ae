// Hosts the shell in the Qt event loop: the two tick timers, the tray icon
// and the termination signals. Everything it runs lives in ShellSystem.
#pragma once

#include <QBasicTimer>
#include <QObject>

#include <functional>
#include <memory>

namespace tessary {

class ShellSystem;
class TerminationRequests;
class TrayIcon;

class ShellHost final : public QObject {
  Q_OBJECT

 public:
  // `tray` may be null (headless).
  ShellHost(ShellSystem& system, TrayIcon* tray, TerminationRequests* termination,
            QObject* parent = nullptr);
  ~ShellHost() override;

  // Runs after every frame tick (the overlay's window-system upkeep).
  void setAfterFrameTick(std::function<void()> work) { afterFrameTick_ = std::move(work); }

  void startTimers();
  void stopTimers();
  // Exit from the menu or by a signal: the icon goes, then the loop ends.
  void requestExit();

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  void onLoginChanged();

  ShellSystem& system_;
  TrayIcon* tray_;
  TerminationRequests* termination_;
  QBasicTimer frameTimer_;
  QBasicTimer slowTimer_;
  std::function<void()> afterFrameTick_;
  bool exiting_ = false;
};

}  // namespace tessary
