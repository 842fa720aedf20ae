#include "platform/linux/posix_sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessary {

namespace {

int fd(SocketHandle socket) { return static_cast<int>(socket); }

IoStatus statusForErrno(int error) {
  switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
      return IoStatus::kWouldBlock;
    case ECONNRESET:
    case ECONNABORTED:
    case ENOTCONN:
    case EPIPE:
    case ETIMEDOUT:
      return IoStatus::kConnectionLost;
    default:
      return IoStatus::kFailed;
  }
}

// Errors that accept() reports for a connection that failed before we took
// it; the listening socket is fine and the next connection may be accepted.
bool isTransientAcceptError(int error) {
  switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
      return true;
    default:
      return false;
  }
}

IoResult readResult(ssize_t count) {
  if (count > 0) return IoResult{IoStatus::kOk, static_cast<std::size_t>(count)};
  if (count == 0) return IoResult{IoStatus::kPeerClosed, 0};
  return IoResult{statusForErrno(errno), 0};
}

IoResult readSome(SocketHandle socket, std::span<char> buffer, int flags) {
  if (buffer.empty()) return IoResult{IoStatus::kOk, 0};
  ssize_t count;
  do {
    count = ::recv(fd(socket), buffer.data(), buffer.size(), flags | MSG_DONTWAIT);
  } while (count < 0 && errno == EINTR);
  return readResult(count);
}

}  // namespace

SocketHandle PosixSockets::openStreamSocket() {
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) return kNoSocket;
  // Lets a restarted program take its port back while old connections linger
  // in TIME_WAIT; a port another program listens on still refuses the bind.
  const int on = 1;
  ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  return socket;
}

bool PosixSockets::bind(SocketHandle socket, Ipv4Address address, std::uint16_t port) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(address.value);
  local.sin_port = htons(port);
  return ::bind(fd(socket), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) == 0;
}

bool PosixSockets::listen(SocketHandle socket, int backlog) {
  return ::listen(fd(socket), backlog) == 0;
}

std::uint16_t PosixSockets::localPort(SocketHandle socket) {
  sockaddr_in address{};
  socklen_t length = sizeof(address);
  if (::getsockname(fd(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

SocketHandle PosixSockets::accept(SocketHandle listening) {
  for (;;) {
    const int client = ::accept4(fd(listening), nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) return client;
    if (!isTransientAcceptError(errno)) return kNoSocket;
  }
}

void PosixSockets::wakeAccept(SocketHandle listening) {
  // Closing alone does not wake a thread blocked in accept() on Linux;
  // shutting the listening socket down does (accept then fails with EINVAL).
  ::shutdown(fd(listening), SHUT_RDWR);
}

bool PosixSockets::setNonBlocking(SocketHandle socket) {
  const int flags = ::fcntl(fd(socket), F_GETFL, 0);
  return flags >= 0 && ::fcntl(fd(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

bool PosixSockets::setNoDelay(SocketHandle socket, bool noDelay) {
  const int value = noDelay ? 1 : 0;
  return ::setsockopt(fd(socket), IPPROTO_TCP, TCP_NODELAY, &value, sizeof(value)) == 0;
}

IoResult PosixSockets::peek(SocketHandle socket, std::span<char> buffer) {
  return readSome(socket, buffer, MSG_PEEK);
}

IoResult PosixSockets::receive(SocketHandle socket, std::span<char> buffer) {
  return readSome(socket, buffer, 0);
}

IoResult PosixSockets::send(SocketHandle socket, std::span<const char> bytes,
                            std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    // MSG_NOSIGNAL: a client that has gone yields EPIPE, not a SIGPIPE that
    // would end the program.
    const ssize_t count = ::send(fd(socket), bytes.data() + sent, bytes.size() - sent,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
    if (count > 0) {
      sent += static_cast<std::size_t>(count);
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    const IoStatus status = count == 0 ? IoStatus::kWouldBlock : statusForErrno(errno);
    if (status != IoStatus::kWouldBlock) return IoResult{status, sent};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      errno = ETIMEDOUT;
      return IoResult{IoStatus::kWouldBlock, sent};
    }
    pollfd waiting{fd(socket), POLLOUT, 0};
    if (::poll(&waiting, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      return IoResult{IoStatus::kFailed, sent};
    }
  }
  return IoResult{IoStatus::kOk, sent};
}

void PosixSockets::close(SocketHandle socket) {
  if (socket != kNoSocket) ::close(fd(socket));
}

SocketError PosixSockets::lastError() {
  const int code = errno;
  SocketError error;
  error.code = code;
  char text[128];
  // The GNU strerror_r may return a static text instead of filling `text`.
  const char* message = ::strerror_r(code, text, sizeof(text));
  error.text.assign(message != nullptr ? message : "");
  return error;
}

std::int32_t PosixSockets::notConnectedCode() const { return ENOTCONN; }

}  // namespace tessary
