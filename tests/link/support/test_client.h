// A loopback TCP client for tests that sends and collects NUL-terminated texts.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::testing {

using namespace std::chrono_literals;

class TestClient {
 public:
  ~TestClient() { close(); }

  // The connection may still wait in the server's backlog when this returns.
  bool connect(std::uint16_t port);
  // Before connect(): a small buffer that unread data soon fills.
  void setReceiveBufferSize(int bytes) { receiveBufferSize_ = bytes; }

  bool send(std::string_view text) { return sendRaw(std::string(text) + '\0'); }
  bool sendRaw(std::string_view bytes);

  // The next text without its NUL; nothing on timeout or when the server closed.
  std::optional<std::string> nextText(std::chrono::milliseconds timeout = 10s);
  std::vector<std::string> textsUntilQuiet(std::chrono::milliseconds quiet = 150ms);
  bool waitForClose(std::chrono::milliseconds timeout = 10s);

  // Closes our sending side only, so we still see whether the server closes.
  void stopSending();
  void close();

 private:


  std::intptr_t socket_ = -1;  // a platform socket handle
  int receiveBufferSize_ = 0;
  bool closedByServer_ = false;
  std::string pending_;
};

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s);

}  // namespace tessary::testing
