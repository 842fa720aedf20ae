// Test support: a connection to the tessary program that sends NUL-ended
// statements and keeps every NUL-ended message it receives.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "support/child_process.h"

namespace tessary::testing {

class ProgramClient {
 public:
  ~ProgramClient();
  bool connect(unsigned port);
  bool send(std::string_view text);
  void close();
  // The messages that arrive within `duration`.
  std::vector<std::string> collect(std::chrono::milliseconds duration);
  // Reads until a message equal to `wanted` arrives; false on timeout.
  bool waitFor(std::string_view wanted, std::chrono::milliseconds timeout);
  // Every message received so far.
  const std::vector<std::string>& seen() const { return seen_; }

 private:
  void readAvailable(std::chrono::milliseconds timeout);
  int fd_ = -1;
  std::string pending_;
  std::vector<std::string> seen_;
  std::size_t delivered_ = 0;
};

// The name the program tests know it by; never include this beside the
// link's own test client.
using TestClient = ProgramClient;

}  // namespace tessary::testing
