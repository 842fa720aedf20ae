// The socket layer on POSIX sockets.
#pragma once

#include "link/socket_api.h"

namespace tessary {

class PosixSockets final : public SocketApi {
 public:
  bool startup() override { return true; }
  void cleanup() override {}

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
};

}  // namespace tessary
