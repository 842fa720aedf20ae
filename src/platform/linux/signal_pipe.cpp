#include "platform/linux/signal_pipe.h"

#include <fcntl.h>
#include <poll.h>
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

void closeIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

SignalPipe::SignalPipe() {
  int fds[2];
  // Non-blocking at both ends: the handler must never wait, and the watcher
  // drains the pipe after poll said it is readable.
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    readFd_ = fds[0];
    writeFd_ = fds[1];
    gWriteFd.store(writeFd_);
  }
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    stopReadFd_ = fds[0];
    stopWriteFd_ = fds[1];
  }
  setHandler(SIGINT, onTerminationSignal);
  setHandler(SIGTERM, onTerminationSignal);
  setHandler(SIGPIPE, SIG_IGN);
}

SignalPipe::~SignalPipe() {
  stopDelivery();
  setHandler(SIGINT, SIG_DFL);
  setHandler(SIGTERM, SIG_DFL);
  gWriteFd.store(-1);
  closeIfOpen(readFd_);
  closeIfOpen(writeFd_);
  closeIfOpen(stopReadFd_);
  closeIfOpen(stopWriteFd_);
}

void SignalPipe::startDelivery(std::function<void()> onRequest) {
  stopDelivery();
  if (readFd_ < 0 || stopReadFd_ < 0 || !onRequest) return;
  onRequest_ = std::move(onRequest);
  watcher_ = std::thread(&SignalPipe::watch, this);
}

void SignalPipe::stopDelivery() {
  if (!watcher_.joinable()) return;
  char byte = 1;
  [[maybe_unused]] ssize_t ignored = write(stopWriteFd_, &byte, 1);
  watcher_.join();
  char buffer[16];
  while (read(stopReadFd_, buffer, sizeof(buffer)) > 0) {
  }
  onRequest_ = nullptr;
}

void SignalPipe::watch() {
  for (;;) {
    pollfd fds[2] = {{readFd_, POLLIN, 0}, {stopReadFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if (fds[0].revents == 0) continue;
    // Several signals before we woke are one request.
    char buffer[64];
    bool requested = false;
    while (read(readFd_, buffer, sizeof(buffer)) > 0) requested = true;
    if (requested) onRequest_();
  }
}

int SignalPipe::lastSignal() { return gLastSignal.load(); }

}  // namespace tessary
