#include "platform/linux/udp_sender.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessary {
namespace {

class UdpSender final : public DatagramSender {
 public:
  explicit UdpSender(int socket) : socket_(socket) {}
  ~UdpSender() override { ::close(socket_); }
  UdpSender(const UdpSender&) = delete;
  UdpSender& operator=(const UdpSender&) = delete;

  bool send(std::string_view datagram) override {
    // MSG_DONTWAIT: a full send buffer drops the datagram instead of waiting;
    // a receiver that is not (yet) listening is no error worth more.
    const ssize_t sent = ::send(socket_, datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    return sent == static_cast<ssize_t>(datagram.size());
  }

 private:
  int socket_;
};

}  // namespace

std::unique_ptr<DatagramSender> openUdpSender(const std::string& host, std::uint16_t port,
                                              std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int failure = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); failure != 0) {
    error = "cannot find host '" + host + "': " + ::gai_strerror(failure);
    return nullptr;
  }
  const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (socket < 0) {
    error = std::string("cannot open a UDP socket: ") + std::strerror(errno);
    ::freeaddrinfo(found);
    return nullptr;
  }
  const bool connected = ::connect(socket, found->ai_addr, found->ai_addrlen) == 0;
  const int connectError = errno;
  ::freeaddrinfo(found);
  if (!connected) {
    error = "cannot address " + host + ":" + service + ": " + std::strerror(connectError);
    ::close(socket);
    return nullptr;
  }
  return std::make_unique<UdpSender>(socket);
}

}  // namespace tessary
