#include "link/tcp_link.h"

#include <algorithm>
#include <array>

#include "common/trace.h"

namespace tessary {

namespace {

constexpr std::string_view kOpenContext = "Open server socket.";
constexpr std::string_view kBindContext = "Bind server socket.";
constexpr std::string_view kListenContext = "Listen on server socket.";
constexpr std::string_view kAcceptContext = "Accept client socket.";
constexpr std::string_view kSendContext = "Send data.";
constexpr std::string_view kReceiveContext = "Get data.";

}  // namespace

TcpLink::TcpLink(SocketApi& sockets, LinkEvents& events, std::uint16_t port,
                 Ipv4Address address, ClientSlot* seat)
    : sockets_(sockets), events_(events), port_(port), address_(address), seat_(seat) {
  pendingTail_.reserve(kReceiveBufferSize);
  sendScratch_.reserve(kReceiveBufferSize);
  if (!sockets_.startup()) {
    recordServerError("Socket layer failed to start.");
    return;
  }
  socketLayerStarted_ = true;
  openServer();
  if (listening_) startAcceptThread();
}

TcpLink::~TcpLink() {
  {
    std::lock_guard lock(stateMutex_);
    stopping_ = true;
  }
  resetDone_.notify_all();
  if (seat_ != nullptr) seat_->wake();
  if (listeningSocket_ != kNoSocket) sockets_.wakeAccept(listeningSocket_);
  if (acceptThread_.joinable()) acceptThread_.join();
  {
    std::lock_guard sendLock(sendMutex_);
    std::lock_guard lock(stateMutex_);
    if (dataSocket_ != kNoSocket) sockets_.close(dataSocket_);
    dataSocket_ = kNoSocket;
    connected_.store(false, std::memory_order_release);
  }
  if (listeningSocket_ != kNoSocket) sockets_.close(listeningSocket_);
  if (socketLayerStarted_) sockets_.cleanup();
}

void TcpLink::openServer() {
  const SocketHandle server = sockets_.openStreamSocket();
  if (server == kNoSocket) {
    recordServerError(kOpenContext);
    return;
  }
  if (!sockets_.bind(server, address_, port_)) {
    recordServerError(kBindContext);
    sockets_.close(server);
    return;
  }
  if (!sockets_.listen(server, kBacklog)) {
    recordServerError(kListenContext);
    sockets_.close(server);
    return;
  }
  listeningSocket_ = server;
  if (const std::uint16_t bound = sockets_.localPort(server); bound != 0) port_ = bound;
  listening_ = true;
}

void TcpLink::startAcceptThread() {
  // The previous accept thread ends after its one accept; it has done so, or
  // is finishing its clientConnected() call, whenever a new one is started.
  if (acceptThread_.joinable()) acceptThread_.join();
  acceptThread_ = std::thread(&TcpLink::acceptOne, this);
}

void TcpLink::acceptOne() {
  const SocketHandle client = sockets_.accept(listeningSocket_);
  if (client == kNoSocket) {
    const SocketError error = sockets_.lastError();
    bool stopping = false;
    {
      std::lock_guard lock(stateMutex_);
      stopping = stopping_;
    }
    // A failed accept leaves the link without clients for the rest of the run.
    if (!stopping) recordError(kAcceptContext, error.code, error.text.view());
    return;
  }
  // The socket is made non-blocking before anyone can see it.
  sockets_.setNonBlocking(client);
  sockets_.setNoDelay(client, false);  // Nagle's algorithm stays on
  // While a WebSocket client holds the seat this one waits, unanswered.
  if (seat_ != nullptr && !seat_->waitToClaim(ClientKind::kTcp, [this] {
        std::lock_guard lock(stateMutex_);
        return stopping_;
      })) {
    sockets_.close(client);
    return;
  }
  {
    std::unique_lock lock(stateMutex_);
    // A client waiting in the backlog is published only once the reset for
    // the previous one has finished, so it never sees that client's messages.
    resetDone_.wait(lock, [this] { return !resetting_ || stopping_; });
    if (stopping_) {
      lock.unlock();
      sockets_.close(client);
      if (seat_ != nullptr) seat_->release(ClientKind::kTcp);
      return;
    }
    dataSocket_ = client;
    connected_.store(true, std::memory_order_release);
  }
  events_.clientConnected();
}

std::size_t TcpLink::receive(std::span<char> buffer) {
  std::fill(buffer.begin(), buffer.end(), '\0');
  if (!isConnected() || buffer.size() < 2) return 0;
  SocketHandle socket = kNoSocket;
  {
    std::lock_guard lock(stateMutex_);
    socket = dataSocket_;
  }
  // The last byte stays a NUL, so a read that fills the room is still a
  // terminated text; what does not fit waits in the socket for the next call.
  const std::span<char> room = buffer.first(buffer.size() - 1);
  IoResult result = sockets_.peek(socket, room);
  if (result.status == IoStatus::kOk && result.bytes > 0) {
    result = sockets_.receive(socket, room);
    if (result.status == IoStatus::kOk && result.bytes > 0) {
      trace(TraceDirection::kReceived, std::string_view(buffer.data(), result.bytes));
      return result.bytes;
    }
  }
  if (result.status == IoStatus::kWouldBlock) return 0;

  if (result.status == IoStatus::kPeerClosed ||
      (result.status == IoStatus::kOk && result.bytes == 0)) {
    // The usual way for a client to leave: recorded, but no failure to trace.
    recordError(kReceiveContext, 0, "connection closed by the client", false);
    clientGone();
  } else {
    recordError(kReceiveContext);
    if (result.status == IoStatus::kConnectionLost) clientGone();
  }
  return 0;
}

void TcpLink::disconnect() {
  if (!isConnected()) return;
  // Closing a socket with unread input resets the connection, and the client
  // could lose the last messages (such as the error saying why it is ended);
  // what it has sent is dropped first.
  SocketHandle socket = kNoSocket;
  {
    std::lock_guard lock(stateMutex_);
    socket = dataSocket_;
  }
  std::array<char, kReceiveBufferSize> unread;
  for (std::size_t dropped = 0; dropped < kMaxUnreadDropped;) {
    const IoResult result = sockets_.receive(socket, unread);
    if (result.status != IoStatus::kOk || result.bytes == 0) break;
    dropped += result.bytes;
  }
  clientGone();
}

void TcpLink::clientGone() {
  {
    std::lock_guard sendLock(sendMutex_);  // no send is using the socket now
    std::lock_guard lock(stateMutex_);
    connected_.store(false, std::memory_order_release);
    if (dataSocket_ != kNoSocket) sockets_.close(dataSocket_);
    dataSocket_ = kNoSocket;
    pendingTail_.clear();
    resetting_ = true;
  }
  startAcceptThread();
  events_.clearAllZones();
  events_.stopCapture();
  events_.resetReplies();
  events_.logOut();
  events_.resetBlendFactors();
  {
    std::lock_guard lock(stateMutex_);
    resetting_ = false;
  }
  resetDone_.notify_all();
  if (seat_ != nullptr) seat_->release(ClientKind::kTcp);
}

bool TcpLink::send(std::string_view text) {
  const auto deadline = std::chrono::steady_clock::now() + kSendTimeout;
  std::unique_lock sendLock(sendMutex_);
  SocketHandle socket = kNoSocket;
  {
    std::lock_guard lock(stateMutex_);
    socket = dataSocket_;
  }
  if (socket == kNoSocket || !isConnected()) {
    // Usual during a reset; recorded but not traced.
    std::lock_guard lock(stateMutex_);
    lastError_.code = sockets_.notConnectedCode();
    lastError_.context.assign(kSendContext);
    lastError_.text.assign("no client connected");
    return false;
  }
  if (!pendingTail_.empty() && !flushPendingTail(socket, deadline)) {
    recordError(kSendContext);  // the new text is dropped whole
    return false;
  }
  sendScratch_.assign(text);
  sendScratch_.push_back('\0');
  const auto left = std::max(std::chrono::steady_clock::duration::zero(),
                             deadline - std::chrono::steady_clock::now());
  const IoResult result = sockets_.send(
      socket, sendScratch_, std::chrono::duration_cast<std::chrono::milliseconds>(left));
  if (result.status == IoStatus::kOk) {
    sendLock.unlock();
    trace(TraceDirection::kSent, text);
    return true;
  }
  const SocketError error = sockets_.lastError();
  if (result.bytes > 0 && result.bytes < sendScratch_.size()) {
    // Part of the text is on the wire: its end must follow before any other
    // text, or the client would read two messages run together.
    pendingTail_.assign(sendScratch_, result.bytes);
  }
  sendLock.unlock();
  recordError(kSendContext, error.code, error.text.view());
  return false;
}

bool TcpLink::flushPendingTail(SocketHandle socket,
                               std::chrono::steady_clock::time_point deadline) {
  const auto left = std::max(std::chrono::steady_clock::duration::zero(),
                             deadline - std::chrono::steady_clock::now());
  const IoResult result = sockets_.send(
      socket, pendingTail_, std::chrono::duration_cast<std::chrono::milliseconds>(left));
  if (result.status == IoStatus::kOk) {
    pendingTail_.clear();
    return true;
  }
  pendingTail_.erase(0, std::min(result.bytes, pendingTail_.size()));
  return false;
}

LinkError TcpLink::lastError() const {
  std::lock_guard lock(stateMutex_);
  return lastError_;
}

void TcpLink::setProtocolTrace(ProtocolTrace trace) {
  std::lock_guard lock(stateMutex_);
  trace_ = trace;
}

void TcpLink::recordError(std::string_view context) {
  const SocketError error = sockets_.lastError();
  recordError(context, error.code, error.text.view());
}

void TcpLink::recordServerError(std::string_view context) {
  // The owner reports this failure to the user (serverError()); it is not
  // traced here as well.
  const SocketError error = sockets_.lastError();
  recordError(context, error.code, error.text.view(), false);
  serverError_ = lastError();
}

void TcpLink::recordError(std::string_view context, std::int32_t code, std::string_view text,
                          bool traced) {
  {
    std::lock_guard lock(stateMutex_);
    lastError_.code = code;
    lastError_.context.assign(context);
    lastError_.text.assign(text);
  }
  if (!traced) return;
  FixedText<512> line;
  formatText(line.buffer(), "%.*s %d: %.*s", static_cast<int>(context.size()), context.data(),
             code, static_cast<int>(text.size()), text.data());
  traceDebug(line.view());
}

void TcpLink::trace(TraceDirection direction, std::string_view text) {
  ProtocolTrace hook;
  {
    std::lock_guard lock(stateMutex_);
    hook = trace_;
  }
  hook(direction, text);
}

}  // namespace tessary
