#include "shell/shell_host.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include "shell/shell_system.h"
#include "shell/termination_signals.h"
#include "shell/tray_icon.h"

namespace tessary {

ShellHost::ShellHost(ShellSystem& system, TrayIcon* tray, TerminationSignals* termination,
                     QObject* parent)
    : QObject(parent), system_(system), tray_(tray), signals_(termination) {
  system_.setLoginChanged(MemberCallback<>::bind(this, &ShellHost::onLoginChanged));
  if (tray_ != nullptr) connect(tray_, &TrayIcon::exitRequested, this, &ShellHost::requestExit);
  if (signals_ != nullptr && signals_->readableHandle() >= 0) {
    signalNotifier_ = std::make_unique<QSocketNotifier>(signals_->readableHandle(),
                                                        QSocketNotifier::Read);
    connect(signalNotifier_.get(), &QSocketNotifier::activated, this, &ShellHost::onSignal);
  }
}

ShellHost::~ShellHost() {
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

void ShellHost::onSignal() {
  signals_->acknowledge();
  requestExit();
}

}  // namespace tessary
