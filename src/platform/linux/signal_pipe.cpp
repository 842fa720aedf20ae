#include "platform/linux/signal_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace tessary {
namespace {

// Written only by the handler, which may run on any thread.
std::atomic<int> gWriteFd{-1};
std::atomic<int> gLastSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onTerminationSignal(int signalNumber) {
  int savedErrno = errno;
  gLastSignal.store(signalNumber);
  int fd = gWriteFd.load();
  if (fd >= 0) {
    char byte = 1;
    // A full pipe already holds a pending request; losing this byte is fine.
    [[maybe_unused]] ssize_t ignored = write(fd, &byte, 1);
  }
  errno = savedErrno;
}

void setHandler(int signalNumber, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signalNumber, &action, nullptr);
}

}  // namespace

SignalPipe::SignalPipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    readFd_ = fds[0];
    writeFd_ = fds[1];
    gWriteFd.store(writeFd_);
  }
  setHandler(SIGINT, onTerminationSignal);
  setHandler(SIGTERM, onTerminationSignal);
  setHandler(SIGPIPE, SIG_IGN);
}

SignalPipe::~SignalPipe() {
  setHandler(SIGINT, SIG_DFL);
  setHandler(SIGTERM, SIG_DFL);
  gWriteFd.store(-1);
  if (readFd_ >= 0) close(readFd_);
  if (writeFd_ >= 0) close(writeFd_);
}

void SignalPipe::acknowledge() {
  char buffer[64];
  while (read(readFd_, buffer, sizeof(buffer)) > 0) {
  }
}

int SignalPipe::lastSignal() { return gLastSignal.load(); }

}  // namespace tessary
