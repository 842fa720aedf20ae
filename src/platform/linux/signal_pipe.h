// SIGINT and SIGTERM turned into termination requests. The handlers only
// write to a pipe (the self-pipe technique); a thread of ours reads it and
// calls the callback, so nothing but the write runs in signal context.
#pragma once

#include <functional>
#include <mutex>
#include <thread>

#include "common/termination_requests.h"

namespace tessary {

class SignalPipe final : public TerminationRequests {
 public:
  // Installs the handlers; only one SignalPipe may exist at a time. Also
  // ignores SIGPIPE, so a client that vanishes mid-send cannot end us.
  // Signals that arrive before startDelivery() are kept and delivered then.
  SignalPipe();
  ~SignalPipe() override;  // stops delivery, restores the default handlers
  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  void startDelivery(std::function<void()> onRequest) override;
  void stopDelivery() override;

  // The last signal number received, 0 if none.
  static int lastSignal();

 private:
  void watch();

  int readFd_ = -1;
  int writeFd_ = -1;
  int stopReadFd_ = -1;   // becomes readable when delivery is to end
  int stopWriteFd_ = -1;
  std::function<void()> onRequest_;  // owned by the watcher thread while it runs
  std::thread watcher_;
};

}  // namespace tessary
