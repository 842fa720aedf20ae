#include "platform/windows/winsock_sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

namespace tessary {
namespace {

// How long accept() waits before it looks for a wake request.
constexpr int kAcceptSliceMs = 100;

SOCKET handle(SocketHandle socket) { return static_cast<SOCKET>(socket); }

IoStatus statusForError(int error) {
  switch (error) {
    case WSAEWOULDBLOCK:
      return IoStatus::kWouldBlock;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENOTCONN:
    case WSAESHUTDOWN:
    case WSAENETRESET:
    case WSAETIMEDOUT:
      return IoStatus::kConnectionLost;
    default:
      return IoStatus::kFailed;
  }
}

// Errors accept() reports for a connection that failed before we took it;
// the listening socket is fine.
bool isTransientAcceptError(int error) {
  return error == WSAECONNRESET || error == WSAEINTR || error == WSAENETDOWN ||
         error == WSAEWOULDBLOCK;
}

IoResult readSome(SocketHandle socket, std::span<char> buffer, int flags) {
  if (buffer.empty()) return IoResult{IoStatus::kOk, 0};
  const int size = static_cast<int>(std::min<std::size_t>(buffer.size(), 1 << 30));
  const int count = ::recv(handle(socket), buffer.data(), size, flags);
  if (count > 0) return IoResult{IoStatus::kOk, static_cast<std::size_t>(count)};
  if (count == 0) return IoResult{IoStatus::kPeerClosed, 0};
  return IoResult{statusForError(WSAGetLastError()), 0};
}

// Waits until `socket` is readable (accept) or writable (send), at most
// `milliseconds`; false on timeout or error.
bool waitFor(SocketHandle socket, bool write, int milliseconds) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(handle(socket), &set);
  timeval timeout{milliseconds / 1000, (milliseconds % 1000) * 1000};
  const int ready = ::select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &timeout);
  return ready > 0;
}

}  // namespace

bool WinsockSockets::startup() {
  WSADATA data;
  return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void WinsockSockets::cleanup() { ::WSACleanup(); }

SocketHandle WinsockSockets::openStreamSocket() {
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return kNoSocket;
  // Programs we start must not inherit the socket and keep the port open.
  ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
  // Without this another program could bind the same port with SO_REUSEADDR
  // and take our clients' connections.
  BOOL on = TRUE;
  ::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof(on));
  return static_cast<SocketHandle>(socket);
}

bool WinsockSockets::bind(SocketHandle socket, Ipv4Address address, std::uint16_t port) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(address.value);
  local.sin_port = htons(port);
  return ::bind(handle(socket), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) == 0;
}

bool WinsockSockets::listen(SocketHandle socket, int backlog) {
  return ::listen(handle(socket), backlog) == 0;
}

std::uint16_t WinsockSockets::localPort(SocketHandle socket) {
  sockaddr_in address{};
  int length = sizeof(address);
  if (::getsockname(handle(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

bool WinsockSockets::takeWake(SocketHandle listening) {
  std::lock_guard guard(wakeLock_);
  return woken_.erase(listening) != 0;
}

SocketHandle WinsockSockets::accept(SocketHandle listening) {
  for (;;) {
    if (takeWake(listening)) {
      ::WSASetLastError(WSAEINTR);
      return kNoSocket;
    }
    if (!waitFor(listening, false, kAcceptSliceMs)) {
      const int error = ::WSAGetLastError();
      // select() gives 0 on a timeout and leaves no error; any failure of
      // the listening socket itself ends the wait.
      if (error != 0 && error != WSAEINTR && error != WSAEWOULDBLOCK) return kNoSocket;
      ::WSASetLastError(0);
      continue;
    }
    const SOCKET client = ::accept(handle(listening), nullptr, nullptr);
    if (client != INVALID_SOCKET) {
      ::SetHandleInformation(reinterpret_cast<HANDLE>(client), HANDLE_FLAG_INHERIT, 0);
      return static_cast<SocketHandle>(client);
    }
    if (!isTransientAcceptError(::WSAGetLastError())) return kNoSocket;
  }
}

void WinsockSockets::wakeAccept(SocketHandle listening) {
  std::lock_guard guard(wakeLock_);
  woken_.insert(listening);
}

bool WinsockSockets::setNonBlocking(SocketHandle socket) {
  u_long on = 1;
  return ::ioctlsocket(handle(socket), FIONBIO, &on) == 0;
}

bool WinsockSockets::setNoDelay(SocketHandle socket, bool noDelay) {
  const BOOL value = noDelay ? TRUE : FALSE;
  return ::setsockopt(handle(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value),
                      sizeof(value)) == 0;
}

IoResult WinsockSockets::peek(SocketHandle socket, std::span<char> buffer) {
  return readSome(socket, buffer, MSG_PEEK);
}

IoResult WinsockSockets::receive(SocketHandle socket, std::span<char> buffer) {
  return readSome(socket, buffer, 0);
}

IoResult WinsockSockets::send(SocketHandle socket, std::span<const char> bytes,
                              std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size() - sent, 1 << 30));
    const int count = ::send(handle(socket), bytes.data() + sent, chunk, 0);
    if (count > 0) {
      sent += static_cast<std::size_t>(count);
      continue;
    }
    const IoStatus status = count == 0 ? IoStatus::kWouldBlock : statusForError(::WSAGetLastError());
    if (status != IoStatus::kWouldBlock) return IoResult{status, sent};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::WSASetLastError(WSAETIMEDOUT);
      return IoResult{IoStatus::kWouldBlock, sent};
    }
    waitFor(socket, true, static_cast<int>(left.count()));
  }
  return IoResult{IoStatus::kOk, sent};
}

void WinsockSockets::close(SocketHandle socket) {
  if (socket == kNoSocket) return;
  {
    std::lock_guard guard(wakeLock_);
    woken_.erase(socket);
  }
  ::closesocket(handle(socket));
}

SocketError WinsockSockets::lastError() {
  const int code = ::WSAGetLastError();
  SocketError error;
  error.code = code;
  char text[128] = {};
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(code), 0, text, sizeof(text), nullptr);
  std::string_view message(text, length);
  // System texts end with ".\r\n"; a trace line wants neither the line end.
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.remove_suffix(1);
  }
  if (message.empty()) {
    error.text.assign("Winsock error " + std::to_string(code));
  } else {
    error.text.assign(message);
  }
  return error;
}

std::int32_t WinsockSockets::notConnectedCode() const { return WSAENOTCONN; }

}  // namespace tessary
