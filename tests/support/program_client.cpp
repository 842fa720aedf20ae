#include "support/program_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace tessary::testing {

ProgramClient::~ProgramClient() { close(); }

bool ProgramClient::connect(unsigned port) {
  close();
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
}

bool ProgramClient::send(std::string_view text) {
  std::string wire(text);
  wire += '\0';
  return fd_ >= 0 &&
         ::send(fd_, wire.data(), wire.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(wire.size());
}

void ProgramClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void ProgramClient::readAvailable(std::chrono::milliseconds timeout) {
  pollfd entry{fd_, POLLIN, 0};
  if (fd_ < 0 || poll(&entry, 1, static_cast<int>(timeout.count())) <= 0) return;
  char buffer[4096];
  ssize_t n = recv(fd_, buffer, sizeof(buffer), 0);
  if (n <= 0) return;
  pending_.append(buffer, static_cast<std::size_t>(n));
  for (std::size_t nul; (nul = pending_.find('\0')) != std::string::npos;) {
    seen_.push_back(pending_.substr(0, nul));
    pending_.erase(0, nul + 1);
  }
}

std::vector<std::string> ProgramClient::collect(std::chrono::milliseconds duration) {
  auto deadline = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < deadline) {
    readAvailable(std::chrono::milliseconds(remainingMs(deadline)));
  }
  std::vector<std::string> fresh(seen_.begin() + static_cast<std::ptrdiff_t>(delivered_), seen_.end());
  delivered_ = seen_.size();
  return fresh;
}

bool ProgramClient::waitFor(std::string_view wanted, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto found = std::find(seen_.begin() + static_cast<std::ptrdiff_t>(delivered_), seen_.end(), wanted);
    if (found != seen_.end()) {
      delivered_ = static_cast<std::size_t>(found - seen_.begin()) + 1;
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    readAvailable(std::chrono::milliseconds(std::min(remainingMs(deadline), 50)));
  }
}

}  // namespace tessary::testing
