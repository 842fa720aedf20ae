#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

namespace tessary::testing {
namespace {

// Milliseconds left until `deadline`, never negative.
int remainingMs(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exitCode_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (stdoutFd_ >= 0) ::close(stdoutFd_);
  if (!stderrPath_.empty()) std::filesystem::remove(stderrPath_);
}

bool ChildProcess::start(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment,
                         std::optional<std::string> input) {
  char stderrTemplate[] = "/tmp/tessary_child_stderr_XXXXXX";
  int stderrFd = mkstemp(stderrTemplate);
  if (stderrFd < 0) return false;
  stderrPath_ = stderrTemplate;
  int out[2];
  int in[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) return false;

  // env(1) sets and unsets the variables; everything is built before fork,
  // which leaves only async-signal-safe calls after it.
  std::vector<std::string> args = {"/usr/bin/env"};
  for (const std::string& extra : environment) {
    if (extra.find('=') == std::string::npos) args.insert(args.end(), {"-u", extra});
  }
  for (const std::string& extra : environment) {
    if (extra.find('=') != std::string::npos) args.push_back(extra);
  }
  args.insert(args.end(), argv.begin(), argv.end());
  std::vector<char*> argp;
  for (std::string& arg : args) argp.push_back(arg.data());
  argp.push_back(nullptr);

  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(stderrFd, STDERR_FILENO);
    execv(argp[0], argp.data());
    _exit(127);
  }
  ::close(out[1]);
  ::close(in[0]);
  ::close(stderrFd);
  stdoutFd_ = out[0];
  for (std::size_t written = 0; input && written < input->size();) {
    ssize_t n = write(in[1], input->data() + written, input->size() - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  ::close(in[1]);  // the child sees the end of its input
  return true;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (auto end = stdoutBuffer_.find('\n'); end != std::string::npos) {
      std::string line = stdoutBuffer_.substr(0, end);
      stdoutBuffer_.erase(0, end + 1);
      return line;
    }
    pollfd entry{stdoutFd_, POLLIN, 0};
    if (poll(&entry, 1, remainingMs(deadline)) <= 0) return std::nullopt;
    char buffer[512];
    ssize_t n = read(stdoutFd_, buffer, sizeof(buffer));
    if (n <= 0) return std::nullopt;
    stdoutBuffer_.append(buffer, static_cast<std::size_t>(n));
  }
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!exitCode_) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else if (std::chrono::steady_clock::now() >= deadline) {
      return std::nullopt;
    } else {
      std::this_thread::sleep_for(10ms);
    }
  }
  return exitCode_;
}

void ChildProcess::signal(int signalNumber) {
  if (pid_ > 0 && !exitCode_) kill(pid_, signalNumber);
}

std::string ChildProcess::errorOutput() const { return readFile(stderrPath_); }

}  // namespace tessary::testing
