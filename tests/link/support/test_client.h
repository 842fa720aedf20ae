// A small TCP client for tests: connects over loopback, sends NUL-terminated
// texts and collects the NUL-terminated texts that come back.
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
  TestClient() = default;
  ~TestClient() { close(); }
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  // Connects to 127.0.0.1:port; the connection may still wait in the
  // server's backlog when this returns.
  bool connect(std::uint16_t port);
  // Call before connect() to make a client whose unread data soon fills up.
  void setReceiveBufferSize(int bytes) { receiveBufferSize_ = bytes; }

  bool send(std::string_view text);      // the text and one NUL
  bool sendRaw(std::string_view bytes);  // exactly these bytes

  // The next text without its NUL; nothing on timeout or when the server closed.
  std::optional<std::string> nextText(std::chrono::milliseconds timeout = 2s);
  // Every text that arrives until none has come for `quiet`.
  std::vector<std::string> textsUntilQuiet(std::chrono::milliseconds quiet = 150ms);
  // Waits until the server closes its end; false on timeout.
  bool waitForClose(std::chrono::milliseconds timeout = 2s);

  // Closes our sending side only, so we still see whether the server closes.
  void stopSending();
  void close();
  bool isOpen() const { return socket_ >= 0; }

 private:
  // Reads what is there into pending_ before `deadline`; false on timeout or close.
  bool fill(std::chrono::steady_clock::time_point deadline);

  int socket_ = -1;
  int receiveBufferSize_ = 0;
  bool closedByServer_ = false;
  std::string pending_;
};

// Calls `condition` until it holds or `timeout` passes.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 2s);

}  // namespace tessary::testing
