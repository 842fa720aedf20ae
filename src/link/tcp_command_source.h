// The TCP link as the command interpreter's source of command text.
#pragma once

#include "link/command_source.h"
#include "link/tcp_link.h"

namespace tessary {

class TcpCommandSource final : public CommandSource {
 public:
  explicit TcpCommandSource(TcpLink& link) : link_(link) {}

  std::size_t receive(std::span<char> buffer) override { return link_.receive(buffer); }
  std::uint16_t port() const override { return link_.port(); }
  void disconnect() override { link_.disconnect(); }

 private:
  TcpLink& link_;
};

}  // namespace tessary
