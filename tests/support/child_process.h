// Test support: a program run as a child process, its standard output on a
// pipe and its standard error in a file.
#pragma once

#include <chrono>
#include <optional>
#include <string>
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

}  // namespace tessary::testing
