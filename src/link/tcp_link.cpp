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
  {
    MutexLock lock(sendMutex_);
    outgoing_.reserve(4 * kReceiveBufferSize);
  }
  if (!sockets_.startup()) {
    recordServerError("Socket layer failed to start.");
    return;
  }
  socketLayerStarted_ = true;
  openServer();
  if (listening_) {
    startAcceptThread();
    flushThread_ = std::thread(&TcpLink::flushWhileQueued, this);
  }
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
    MutexLock sendLock(sendMutex_);
    flushStopping_ = true;
  }
  queued_.notify_all();
  if (flushThread_.joinable()) flushThread_.join();
  {
    MutexLock sendLock(sendMutex_);
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
  // Nagle's algorithm off: a hit must not wait for the client's delayed
  // acknowledgement of the message before it (40 ms and more).
  sockets_.setNoDelay(client, true);
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
  flushQueued();
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
  // what it has sent is dropped first, after what is queued for it has gone.
  flushQueued();
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
    MutexLock sendLock(sendMutex_);  // no send is using the socket now
    std::lock_guard lock(stateMutex_);
    connected_.store(false, std::memory_order_release);
    if (dataSocket_ != kNoSocket) sockets_.close(dataSocket_);
    dataSocket_ = kNoSocket;
    outgoing_.clear();
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

bool TcpLink::send(std::string_view text) { return queueAndSend(text, true); }

bool TcpLink::sendBatch(std::string_view texts) { return queueAndSend(texts, false); }

bool TcpLink::queueAndSend(std::string_view texts, bool addNul) {
  const std::size_t bytes = texts.size() + (addNul ? 1 : 0);
  bool dropped = false;
  bool failed = false;
  {
    MutexLock sendLock(sendMutex_);
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
    if (outgoing_.size() + bytes > kMaxQueuedBytes) {
      dropped = true;
      const auto count = addNul ? 1 : std::count(texts.begin(), texts.end(), '\0');
      dropped_.fetch_add(static_cast<std::uint64_t>(count), std::memory_order_relaxed);
    } else {
      outgoing_.append(texts);
      if (addNul) outgoing_.push_back('\0');
      failed = !flushLocked(socket);
      if (!outgoing_.empty()) queued_.notify_one();
    }
  }
  if (failed) recordError(kSendContext);
  trace(dropped ? TraceDirection::kDropped : TraceDirection::kSent, texts);
  return !dropped && !failed;
}

bool TcpLink::flushLocked(SocketHandle socket) {
  if (outgoing_.empty()) return true;
  const IoResult result = sockets_.send(socket, outgoing_, std::chrono::milliseconds(0));
  outgoing_.erase(0, std::min(result.bytes, outgoing_.size()));
  return result.status == IoStatus::kOk || result.status == IoStatus::kWouldBlock;
}

void TcpLink::flushWhileQueued() {
  constexpr auto kFirstPause = std::chrono::milliseconds(1);
  constexpr auto kLongestPause = std::chrono::milliseconds(32);
  auto pause = kFirstPause;
  MutexLock lock(sendMutex_);
  while (!flushStopping_) {
    if (outgoing_.empty()) {
      pause = kFirstPause;
      queued_.wait(sendMutex_);
      continue;
    }
    const std::size_t before = outgoing_.size();
    SocketHandle socket = kNoSocket;
    {
      std::lock_guard stateLock(stateMutex_);
      socket = dataSocket_;
    }
    if (socket == kNoSocket || !flushLocked(socket)) {
      outgoing_.clear();  // the client is gone; receive() notices it
      continue;
    }
    // A client that reads gets its rest at once; one that does not is tried
    // less and less often.
    pause = outgoing_.size() < before ? kFirstPause : std::min(pause * 2, kLongestPause);
    if (!outgoing_.empty()) queued_.wait_for(sendMutex_, pause);
  }
}

void TcpLink::flushQueued() {
  bool failed = false;
  {
    MutexLock sendLock(sendMutex_);
    if (outgoing_.empty()) return;
    SocketHandle socket = kNoSocket;
    {
      std::lock_guard lock(stateMutex_);
      socket = dataSocket_;
    }
    if (socket != kNoSocket) failed = !flushLocked(socket);
  }
  if (failed) recordError(kSendContext);
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
