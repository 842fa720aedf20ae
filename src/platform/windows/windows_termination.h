// Termination requests on Windows. A program without a console window gets
// no Ctrl+C and, without a visible window, no WM_CLOSE either; so besides the
// console events (when started from a console) a running copy also listens
// on a named event, which `tessary --quit` sets.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/termination_requests.h"

namespace tessary {

// The exit event's name beside the instance mutex's.
inline constexpr char kExitEventName[] = "Quon_Tessary_Exit";

class WindowsTermination final : public TerminationRequests {
 public:
  // Installs the console handler and creates the exit event; only one may
  // exist at a time. `eventName` empty: kExitEventName.
  explicit WindowsTermination(std::string eventName = {});
  ~WindowsTermination() override;
  WindowsTermination(const WindowsTermination&) = delete;
  WindowsTermination& operator=(const WindowsTermination&) = delete;

  void startDelivery(std::function<void()> onRequest) override;
  void stopDelivery() override;

  // One console control event; true when it asked us to end.
  bool onConsoleEvent(unsigned long event);

 private:
  void request();
  void watch();

  void* exitEvent_ = nullptr;  // named; set by another copy's --quit
  void* stopEvent_ = nullptr;  // ends the watcher
  std::thread watcher_;
  // Guards the callback and the pending flag. Held while the callback runs,
  // so stopDelivery() returns only after a call in progress; the callback
  // only posts a message and takes no lock of ours.
  std::mutex lock_;
  std::function<void()> onRequest_;
  bool pending_ = false;  // a request came before delivery started
};

// Asks the copy that runs (if any) to end, and waits up to `timeoutMs` until
// it has. Returns 0 when it ended, 1 when none runs, 2 on a timeout, with a
// line on standard error for 1 and 2.
int quitRunningCopy(unsigned long timeoutMs);

}  // namespace tessary
