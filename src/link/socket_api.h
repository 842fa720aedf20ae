// The socket services the link needs, behind a small interface so that each
// platform supplies its own (POSIX sockets on Linux; Winsock would sit beside).
//
// Every operation reports failure through its result and leaves the platform's
// error code and text for lastError(); none of them raises a signal or an
// exception, whatever the peer does.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/fixed_text.h"

namespace tessary {

// A platform socket handle; kNoSocket when there is none.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// A local IPv4 address to listen on, in host byte order (127.0.0.1 is
// 0x7f000001); the default, 0.0.0.0, means every local address.
struct Ipv4Address {
  std::uint32_t value = 0;
  friend bool operator==(Ipv4Address, Ipv4Address) = default;
};
inline constexpr Ipv4Address kEveryAddress{0};
inline constexpr Ipv4Address kLoopbackAddress{0x7f000001};

// The platform's code and text for the last failed socket operation of the
// calling thread.
struct SocketError {
  std::int32_t code = 0;
  FixedText<128> text;
};

enum class IoStatus {
  kOk,              // some bytes moved
  kWouldBlock,      // nothing waiting (receive) or no room in time (send)
  kPeerClosed,      // the peer closed its end in order (a receive of 0 bytes)
  kConnectionLost,  // reset, aborted or no longer connected
  kFailed,          // any other error; the connection may still be usable
};

struct IoResult {
  IoStatus status = IoStatus::kFailed;
  std::size_t bytes = 0;  // bytes moved, also when a send stops part way
};

class SocketApi {
 public:
  // Starts and stops the platform's socket library (a no-op where there is none).
  virtual bool startup() = 0;
  virtual void cleanup() = 0;

  // A TCP stream socket for IPv4, or kNoSocket.
  virtual SocketHandle openStreamSocket() = 0;
  // Binds to `address` (kEveryAddress: every local one) and `port`; port 0
  // lets the system choose.
  virtual bool bind(SocketHandle socket, Ipv4Address address, std::uint16_t port) = 0;
  virtual bool listen(SocketHandle socket, int backlog) = 0;
  // The local port the socket is bound to, or 0.
  virtual std::uint16_t localPort(SocketHandle socket) = 0;
  // Waits as long as it takes for one connection; kNoSocket on failure,
  // including after wakeAccept().
  virtual SocketHandle accept(SocketHandle listening) = 0;
  // Makes an accept() blocked on `listening` in another thread return.
  virtual void wakeAccept(SocketHandle listening) = 0;

  virtual bool setNonBlocking(SocketHandle socket) = 0;
  virtual bool setNoDelay(SocketHandle socket, bool noDelay) = 0;

  // Never waits: looks at (peek) or takes (receive) up to buffer.size() bytes.
  virtual IoResult peek(SocketHandle socket, std::span<char> buffer) = 0;
  virtual IoResult receive(SocketHandle socket, std::span<char> buffer) = 0;
  // Sends all of `bytes`, retrying partial sends, for at most `timeout`; on
  // kWouldBlock `bytes` of the result tells how much went out before the time
  // ran out.
  virtual IoResult send(SocketHandle socket, std::span<const char> bytes,
                        std::chrono::milliseconds timeout) = 0;

  virtual void close(SocketHandle socket) = 0;

  virtual SocketError lastError() = 0;
  // The platform's code for "not connected", recorded when a send finds no client.
  virtual std::int32_t notConnectedCode() const = 0;

 protected:
  ~SocketApi() = default;
};

}  // namespace tessary
