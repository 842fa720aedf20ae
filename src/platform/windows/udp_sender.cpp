#include "platform/windows/udp_sender.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

namespace tessary {
namespace {

std::string winsockErrorText(int code) {
  char text[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  std::string result(text, length);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.')) {
    result.pop_back();
  }
  return result.empty() ? "error " + std::to_string(code) : result;
}

class UdpSender final : public DatagramSender {
 public:
  explicit UdpSender(SOCKET socket) : socket_(socket) {}
  ~UdpSender() override {
    closesocket(socket_);
    WSACleanup();  // balances the start-up of openUdpSender
  }
  UdpSender(const UdpSender&) = delete;
  UdpSender& operator=(const UdpSender&) = delete;

  bool send(std::string_view datagram) override {
    // The socket is non-blocking: a datagram the system cannot take is dropped.
    const int sent = ::send(socket_, datagram.data(), static_cast<int>(datagram.size()), 0);
    return sent == static_cast<int>(datagram.size());
  }

 private:
  SOCKET socket_;
};

}  // namespace

std::unique_ptr<DatagramSender> openUdpSender(const std::string& host, std::uint16_t port,
                                              std::string& error) {
  WSADATA data;
  if (const int failure = WSAStartup(MAKEWORD(2, 2), &data); failure != 0) {
    error = "cannot start Winsock: " + winsockErrorText(failure);
    return nullptr;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int failure = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); failure != 0) {
    error = "cannot find host '" + host + "': " + winsockErrorText(failure);
    WSACleanup();
    return nullptr;
  }
  const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  u_long nonBlocking = 1;
  if (socket == INVALID_SOCKET || ioctlsocket(socket, FIONBIO, &nonBlocking) != 0 ||
      ::connect(socket, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
    error = "cannot address " + host + ":" + service + ": " + winsockErrorText(WSAGetLastError());
    if (socket != INVALID_SOCKET) closesocket(socket);
    freeaddrinfo(found);
    WSACleanup();
    return nullptr;
  }
  freeaddrinfo(found);
  return std::make_unique<UdpSender>(socket);
}

}  // namespace tessary
