// Test support on every platform: a TCP client of the link or the program
// that sends NUL-ended texts and reads the NUL-ended texts that come back.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/wait_until.h"

namespace tessary::testing {

class TestClient {
 public:
  ~TestClient() { close(); }

  // The connection may still wait in the server's backlog when this returns.
  bool connect(unsigned port, const std::string& host = "127.0.0.1");
  // Before connect(): a small buffer that unread data soon fills.
  void setReceiveBufferSize(int bytes) { receiveBufferSize_ = bytes; }

  bool send(std::string_view text) { return sendRaw(std::string(text) + '\0'); }
  bool sendRaw(std::string_view bytes);

  // The next text without its NUL; nothing on timeout or when the server closed.
  std::optional<std::string> nextText(std::chrono::milliseconds timeout = 10s);
  // The texts that come until none has come for `quiet`.
  std::vector<std::string> textsUntilQuiet(std::chrono::milliseconds quiet = 150ms);
  // The texts that come within `duration`.
  std::vector<std::string> collect(std::chrono::milliseconds duration);
  // Reads until a text equal to `wanted` comes, passing over others; false on timeout.
  bool waitFor(std::string_view wanted, std::chrono::milliseconds timeout = 10s);
  // Every text read since connect(), in order.
  const std::vector<std::string>& seen() const { return seen_; }
  bool waitForClose(std::chrono::milliseconds timeout = 10s);

  // Closes our sending side only, so we still see whether the server closes.
  void stopSending();
  void close();

 private:
  std::intptr_t socket_ = -1;  // a platform socket handle
  int receiveBufferSize_ = 0;
  bool closedByServer_ = false;
  std::string pending_;
  std::vector<std::string> seen_;
};

}  // namespace tessary::testing
