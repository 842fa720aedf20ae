#include "child_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace tessary::testing {

namespace {

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

  // The environment is built before fork: only async-signal-safe calls after.
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view text = *entry;
    std::string_view name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const std::string& extra : environment) {
      if (std::string_view(extra).substr(0, extra.find('=')) == name) replaced = true;
    }
    if (!replaced) env.emplace_back(text);
  }
  for (const std::string& extra : environment) {
    if (extra.find('=') != std::string::npos) env.push_back(extra);  // "NAME" alone unsets it
  }
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (std::string& arg : args) argp.push_back(arg.data());
  argp.push_back(nullptr);

  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(stderrFd, STDERR_FILENO);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  ::close(out[1]);
  ::close(in[0]);
  ::close(stderrFd);
  stdoutFd_ = out[0];
  if (input) {
    std::size_t written = 0;
    while (written < input->size()) {
      ssize_t n = write(in[1], input->data() + written, input->size() - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
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
    int ready = poll(&entry, 1, remainingMs(deadline));
    if (ready <= 0) return std::nullopt;
    char buffer[512];
    ssize_t n = read(stdoutFd_, buffer, sizeof(buffer));
    if (n <= 0) return std::nullopt;
    stdoutBuffer_.append(buffer, static_cast<std::size_t>(n));
  }
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
  if (exitCode_) return exitCode_;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return exitCode_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(10ms);
  }
}

void ChildProcess::signal(int signalNumber) {
  if (pid_ > 0 && !exitCode_) kill(pid_, signalNumber);
}

std::string ChildProcess::errorOutput() const { return readFile(stderrPath_); }

TestClient::~TestClient() { close(); }

bool TestClient::connect(unsigned port) {
  close();
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
}

bool TestClient::send(std::string_view text) {
  std::string wire(text);
  wire += '\0';
  return fd_ >= 0 && ::send(fd_, wire.data(), wire.size(), MSG_NOSIGNAL) ==
                         static_cast<ssize_t>(wire.size());
}

void TestClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TestClient::readAvailable(std::chrono::milliseconds timeout) {
  if (fd_ < 0) return;
  pollfd entry{fd_, POLLIN, 0};
  if (poll(&entry, 1, static_cast<int>(timeout.count())) <= 0) return;
  char buffer[4096];
  ssize_t n = recv(fd_, buffer, sizeof(buffer), 0);
  if (n <= 0) return;
  pending_.append(buffer, static_cast<std::size_t>(n));
  for (std::size_t nul; (nul = pending_.find('\0')) != std::string::npos;) {
    seen_.push_back(pending_.substr(0, nul));
    pending_.erase(0, nul + 1);
  }
}

std::vector<std::string> TestClient::collect(std::chrono::milliseconds duration) {
  auto deadline = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < deadline) {
    readAvailable(std::chrono::milliseconds(remainingMs(deadline)));
  }
  std::vector<std::string> fresh(seen_.begin() + static_cast<std::ptrdiff_t>(delivered_), seen_.end());
  delivered_ = seen_.size();
  return fresh;
}

bool TestClient::waitFor(std::string_view wanted, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    for (std::size_t i = delivered_; i < seen_.size(); ++i) {
      if (seen_[i] == wanted) {
        delivered_ = i + 1;
        return true;
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    readAvailable(std::chrono::milliseconds(std::min(remainingMs(deadline), 50)));
  }
}

TempFolder::TempFolder() {
  char pattern[] = "/tmp/tessary_test_XXXXXX";
  const char* made = mkdtemp(pattern);
  path_ = made != nullptr ? made : "/tmp";
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (path_ != "/tmp") std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace tessary::testing
