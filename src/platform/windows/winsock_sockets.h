// The socket layer on Winsock 2.
#pragma once

#include <mutex>
#include <set>

#include "link/socket_api.h"

namespace tessary {

class WinsockSockets final : public SocketApi {
 public:
  bool startup() override;
  void cleanup() override;

  SocketHandle openStreamSocket() override;
  bool bind(SocketHandle socket, Ipv4Address address, std::uint16_t port) override;
  bool listen(SocketHandle socket, int backlog) override;
  std::uint16_t localPort(SocketHandle socket) override;
  SocketHandle accept(SocketHandle listening) override;
  void wakeAccept(SocketHandle listening) override;

  bool setNonBlocking(SocketHandle socket) override;
  bool setNoDelay(SocketHandle socket, bool noDelay) override;

  IoResult peek(SocketHandle socket, std::span<char> buffer) override;
  IoResult receive(SocketHandle socket, std::span<char> buffer) override;
  IoResult send(SocketHandle socket, std::span<const char> bytes,
                std::chrono::milliseconds timeout) override;

  void close(SocketHandle socket) override;

  SocketError lastError() override;
  std::int32_t notConnectedCode() const override;

 private:
  bool takeWake(SocketHandle listening);

  // Listening sockets whose accept() is to give up. Winsock has no way to
  // wake a blocked accept() short of closing the socket under it, which
  // would race the owner's own close, so accept() waits in short slices.
  std::mutex wakeLock_;
  std::set<SocketHandle> woken_;
};

}  // namespace tessary
