#include "support/test_client.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>

namespace tessary::testing {
namespace {

#ifdef _WIN32
using ssize_t = int;
constexpr int MSG_NOSIGNAL = 0;
constexpr int SHUT_WR = SD_SEND;
SOCKET native(std::intptr_t socket) { return static_cast<SOCKET>(socket); }
std::intptr_t openSocket() {
  // The link under test starts Winsock too; the counts nest.
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) return -1;
  return static_cast<std::intptr_t>(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}
bool readable(std::intptr_t socket, int milliseconds) {
  WSAPOLLFD waiting{native(socket), POLLRDNORM, 0};
  return ::WSAPoll(&waiting, 1, milliseconds) > 0;
}
void closeSocket(std::intptr_t socket) { ::closesocket(native(socket)); }
#else
int native(std::intptr_t socket) { return static_cast<int>(socket); }
std::intptr_t openSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
bool readable(std::intptr_t socket, int milliseconds) {
  pollfd waiting{native(socket), POLLIN, 0};
  return ::poll(&waiting, 1, milliseconds) > 0;
}
void closeSocket(std::intptr_t socket) { ::close(native(socket)); }
#endif

}  // namespace

bool TestClient::connect(unsigned port, const std::string& host) {
  close();
  socket_ = openSocket();
  if (receiveBufferSize_ > 0)
    ::setsockopt(native(socket_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBufferSize_),
                 sizeof(receiveBufferSize_));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  closedByServer_ = false;
  pending_.clear();
  seen_.clear();
  return ::inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1 &&
         ::connect(native(socket_), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
}

bool TestClient::sendRaw(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(native(socket_), bytes.data(), static_cast<int>(bytes.size()), MSG_NOSIGNAL);
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
      seen_.push_back(pending_.substr(0, nul));
      pending_.erase(0, nul + 1);
      return seen_.back();
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (closedByServer_ || left.count() <= 0 || !readable(socket_, int(left.count()))) return std::nullopt;
    char chunk[4096];
    const ssize_t count = ::recv(native(socket_), chunk, sizeof(chunk), 0);
    closedByServer_ = count <= 0;
    if (count > 0) pending_.append(chunk, static_cast<std::size_t>(count));
  }
}

std::vector<std::string> TestClient::textsUntilQuiet(std::chrono::milliseconds quiet) {
  std::vector<std::string> texts;
  while (auto text = nextText(quiet)) texts.push_back(std::move(*text));
  return texts;
}

std::vector<std::string> TestClient::collect(std::chrono::milliseconds duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  std::vector<std::string> texts;
  for (auto left = duration; left.count() > 0;) {
    if (auto text = nextText(left)) {
      texts.push_back(std::move(*text));
    } else if (closedByServer_) {
      break;
    }
    left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  }
  return texts;
}

bool TestClient::waitFor(std::string_view wanted, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (auto left = timeout; left.count() > 0;) {
    const std::optional<std::string> text = nextText(left);
    if (text == wanted) return true;
    if (!text && closedByServer_) return false;
    left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  }
  return false;
}

bool TestClient::waitForClose(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!closedByServer_ && std::chrono::steady_clock::now() < deadline) nextText(10ms);
  return closedByServer_;
}

void TestClient::stopSending() { ::shutdown(native(socket_), SHUT_WR); }

void TestClient::close() {
  if (socket_ >= 0) closeSocket(socket_);
  socket_ = -1;
}

}  // namespace tessary::testing
