// Test support: runs a program as a child process with its standard output
// on a pipe and its standard error in a file, and talks to Tessary over TCP.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::testing {

using namespace std::chrono_literals;

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // `environment` entries ("NAME=value") replace or add to ours.
  bool start(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
             std::optional<std::string> input = std::nullopt);

  // The next line of standard output without its line feed, or nothing when
  // none arrives in time or the output ends.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout);
  // The exit code, or nothing while the child still runs after `timeout`;
  // a child ended by a signal gives 128 + the signal number.
  std::optional<int> wait(std::chrono::milliseconds timeout);
  void signal(int signalNumber);
  std::string errorOutput() const;  // what it wrote to standard error so far
  int pid() const { return pid_; }

 private:
  int pid_ = -1;
  int stdoutFd_ = -1;
  std::string stdoutBuffer_;
  std::string stderrPath_;
  std::optional<int> exitCode_;
};

// A connection to Tessary that sends NUL-terminated texts and collects the
// NUL-terminated messages it receives.
class TestClient {
 public:
  ~TestClient();
  bool connect(unsigned port);
  bool send(std::string_view text);
  void close();
  // Messages received within `duration`.
  std::vector<std::string> collect(std::chrono::milliseconds duration);
  // Collects until a message equal to `wanted` arrives; false on timeout.
  // Every message seen is kept in seen().
  bool waitFor(std::string_view wanted, std::chrono::milliseconds timeout);
  const std::vector<std::string>& seen() const { return seen_; }

 private:
  void readAvailable(std::chrono::milliseconds timeout);
  int fd_ = -1;
  std::string pending_;
  std::vector<std::string> seen_;
  std::size_t delivered_ = 0;
};

// A fresh folder under the system's temporary folder, removed at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
bool writeFile(const std::string& path, std::string_view bytes);

}  // namespace tessary::testing
