#include "shell/shell_host.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include "shell/shell_system.h"
#include "common/termination_requests.h"
#include "shell/tray_icon.h"

namespace tessary {

ShellHost::ShellHost(ShellSystem& system, TrayIcon* tray, TerminationRequests* termination,
                     QObject* parent)
    : QObject(parent), system_(system), tray_(tray), termination_(termination) {
  system_.setLoginChanged(MemberCallback<>::bind(this, &ShellHost::onLoginChanged));
  if (tray_ != nullptr) connect(tray_, &TrayIcon::exitRequested, this, &ShellHost::requestExit);
  if (termination_ != nullptr) {
    // Requests arrive on the platform's thread; the exit itself runs in our loop.
    termination_->startDelivery(
        [this] { QMetaObject::invokeMethod(this, &ShellHost::requestExit, Qt::QueuedConnection); });
  }
}

ShellHost::~ShellHost() {
  if (termination_ != nullptr) termination_->stopDelivery();
  system_.setLoginChanged({});
  stopTimers();
}

void ShellHost::startTimers() {
  frameTimer_.start(static_cast<int>(kFrameTickTimer.period.count()), Qt::PreciseTimer, this);
  slowTimer_.start(static_cast<int>(kSlowTickTimer.period.count()), Qt::PreciseTimer, this);
}

void ShellHost::stopTimers() {
  frameTimer_.stop();
  slowTimer_.stop();
}

void ShellHost::timerEvent(QTimerEvent* event) {
  if (event->timerId() == frameTimer_.timerId()) {
    system_.ticks().frameTick();
    if (afterFrameTick_) afterFrameTick_();
  } else if (event->timerId() == slowTimer_.timerId()) {
    system_.ticks().slowTick();
  } else {
    QObject::timerEvent(event);
  }
}

void ShellHost::requestExit() {
  if (exiting_) return;
  exiting_ = true;
  if (tray_ != nullptr) tray_->remove();
  // The window is "shown" for the last ticks before the loop ends.
  system_.ticks().setInTray(false);
  QCoreApplication::exit(0);
}

void ShellHost::onLoginChanged() {
  if (tray_ != nullptr) tray_->updateTip(system_.loggedIn());
}

}  // namespace tessary
