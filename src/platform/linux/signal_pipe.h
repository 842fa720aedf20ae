// SIGINT and SIGTERM turned into a readable pipe (the self-pipe technique),
// so the event loop ends the program through its normal shut-down.
#pragma once

#include "shell/termination_signals.h"

namespace tessary {

class SignalPipe final : public TerminationSignals {
 public:
  // Installs the handlers; only one SignalPipe may exist at a time. Also
  // ignores SIGPIPE, so a client that vanishes mid-send cannot end us.
  SignalPipe();
  ~SignalPipe() override;  // restores the default handlers
  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  int readableHandle() const override { return readFd_; }
  void acknowledge() override;

  // The last signal number received, 0 if none.
  static int lastSignal();

 private:
  int readFd_ = -1;
  int writeFd_ = -1;
};

}  // namespace tessary
