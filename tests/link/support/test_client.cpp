#include "link/support/test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace tessary::testing {

bool TestClient::connect(std::uint16_t port) {
  close();
  socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (receiveBufferSize_ > 0)
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &receiveBufferSize_, sizeof(receiveBufferSize_));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  closedByServer_ = false;
  pending_.clear();
  return ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
}

bool TestClient::sendRaw(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

std::optional<std::string> TestClient::nextText(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const auto nul = pending_.find('\0'); nul != std::string::npos) {
      std::string text = pending_.substr(0, nul);
      pending_.erase(0, nul + 1);
      return text;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd waiting{socket_, POLLIN, 0};
    if (closedByServer_ || left.count() <= 0 || ::poll(&waiting, 1, int(left.count())) <= 0)
      return std::nullopt;
    char chunk[4096];
    const ssize_t count = ::recv(socket_, chunk, sizeof(chunk), 0);
    closedByServer_ = count <= 0;
    if (count > 0) pending_.append(chunk, static_cast<std::size_t>(count));
  }
}

std::vector<std::string> TestClient::textsUntilQuiet(std::chrono::milliseconds quiet) {
  std::vector<std::string> texts;
  while (auto text = nextText(quiet)) texts.push_back(std::move(*text));
  return texts;
}

bool TestClient::waitForClose(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!closedByServer_ && std::chrono::steady_clock::now() < deadline) nextText(10ms);
  return closedByServer_;
}

void TestClient::stopSending() { ::shutdown(socket_, SHUT_WR); }

void TestClient::close() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

}  // namespace tessary::testing
