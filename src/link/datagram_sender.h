// One UDP destination, behind an interface of ours so each platform supplies
// its own (POSIX sockets, Winsock).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tessary {

class DatagramSender {
 public:
  virtual ~DatagramSender() = default;
  // Never waits: a datagram the system cannot take at once is dropped.
  // False when it was not sent.
  virtual bool send(std::string_view datagram) = 0;
};

// Opens a sender to `host` (a name or dotted IPv4 address, looked up once,
// now) and `port`; null with `error` saying why when it cannot.
using DatagramSenderFactory = std::unique_ptr<DatagramSender> (*)(const std::string& host,
                                                                   std::uint16_t port,
                                                                   std::string& error);

}  // namespace tessary
