// Test support: a program run as a child process, its standard output on a
// pipe and its standard error in a file; a connection to the tessary program
// sending NUL-ended statements and keeping every message.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_folder.h"

namespace tessary::testing {

using namespace std::chrono_literals;

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // `environment` entries ("NAME=value") replace or add to ours; "NAME" alone unsets it.
  bool start(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
             std::optional<std::string> input = std::nullopt);
  // The next line of standard output without its line feed, or nothing when
  // none arrives in time or the output ends.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout);
  // The exit code (128 + the signal for a child ended by one), or nothing
  // while the child still runs after `timeout`.
  std::optional<int> wait(std::chrono::milliseconds timeout);
  void signal(int signalNumber);
  std::string errorOutput() const;
  int pid() const { return pid_; }

 private:
  int pid_ = -1;
  int stdoutFd_ = -1;
  std::string stdoutBuffer_;
  std::string stderrPath_;
  std::optional<int> exitCode_;
};

class ProgramClient {
 public:
  ~ProgramClient();
  bool connect(unsigned port, const std::string& host = "127.0.0.1");
  bool send(std::string_view text);
  void close();
  // The messages that arrive within `duration`.
  std::vector<std::string> collect(std::chrono::milliseconds duration);
  // Reads until a message equal to `wanted` arrives; false on timeout.
  bool waitFor(std::string_view wanted, std::chrono::milliseconds timeout);
  const std::vector<std::string>& seen() const { return seen_; }

 private:
  void readAvailable(std::chrono::milliseconds timeout);
  int fd_ = -1;
  std::string pending_;
  std::vector<std::string> seen_;
  std::size_t delivered_ = 0;
};

}  // namespace tessary::testing
