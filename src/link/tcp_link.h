// The TCP link to the one client: a server on one or every local address that
// accepts one client at a time on a thread of its own, a non-blocking receive
// polled by the command interpreter, and whole-text sends from any thread
// that never wait for the client.
//
// Sending: texts go into the outgoing queue and the queue goes to the socket
// at once, in one non-blocking send (Nagle's algorithm off, so a small
// message never waits for the client's delayed acknowledgement). What the
// socket does not take stays queued; the link's flush thread sends it as the
// client reads, trying again at growing intervals while it does not. A
// client that stops reading fills the queue; beyond kMaxQueuedBytes texts
// are dropped whole, counted and traced.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "common/fixed_text.h"
#include "common/member_callback.h"
#include "common/thread_annotations.h"
#include "link/client_slot.h"
#include "link/message_sink.h"
#include "link/socket_api.h"

namespace tessary {

// What the link asks of the rest of the program when a client comes and goes.
// The shell implements it; the link calls no operation while holding a lock.
class LinkEvents {
 public:
  // Accept thread: a client was accepted (the shell starts capture).
  virtual void clientConnected() = 0;
  // Main thread, inside receive(), when the client has gone, in this order.
  virtual void clearAllZones() = 0;
  virtual void stopCapture() = 0;
  virtual void resetReplies() = 0;  // also resets the display state
  virtual void logOut() = 0;        // also refreshes the tray tip
  virtual void resetBlendFactors() = 0;

 protected:
  ~LinkEvents() = default;
};

// The last socket failure, kept for diagnosis only.
struct LinkError {
  std::int32_t code = 0;     // the platform's socket error code
  FixedText<256> context;    // what was being done, e.g. "Send data."
  FixedText<128> text;       // the platform's text for `code`
};

enum class TraceDirection { kReceived, kSent, kDropped };
// Sees the bytes of every read (NULs included), every text sent whole and
// every text dropped because the client did not read (for a verbose mode). It may be called on the main thread and on the detection
// thread, so it must be thread-safe, and it must not call back into the link.
using ProtocolTrace = MemberCallback<TraceDirection, std::string_view>;

class TcpLink final : public MessageSink {
 public:
  static constexpr std::uint16_t kDefaultPort = 2152;
  static constexpr int kBacklog = 5;
  static constexpr std::size_t kReceiveBufferSize = 2048;
  // What disconnect() reads and drops at most before it closes the socket.
  static constexpr std::size_t kMaxUnreadDropped = 256 * 1024;
  // Bytes queued for a client that does not read fast enough; a text that
  // would go beyond is dropped whole.
  static constexpr std::size_t kMaxQueuedBytes = 256 * 1024;

  // Starts the socket layer, opens the server on `address` and `port` (0: any
  // free port, see port()) and starts the accept thread. Failures leave a
  // link without clients: every receive returns 0 and every send fails;
  // serverError() says why. With a `seat` shared with another link, an
  // accepted client is served only once it holds the seat (until then it
  // waits, as in the backlog); the seat must outlive the link.
  TcpLink(SocketApi& sockets, LinkEvents& events, std::uint16_t port = kDefaultPort,
          Ipv4Address address = kEveryAddress, ClientSlot* seat = nullptr);
  // Stops the accept thread, closes both sockets, shuts the socket layer down.
  ~TcpLink();
  TcpLink(const TcpLink&) = delete;
  TcpLink& operator=(const TcpLink&) = delete;

  // Main thread, once per tick. Never waits. Fills `buffer` with zeros and
  // reads at most buffer.size() - 1 bytes, so whatever was read is always
  // followed by a NUL inside the buffer; bytes that do not fit stay queued for
  // the next call. Returns the number of bytes read; 0 when nothing arrived or
  // no client is connected. Notices a client that has gone, closes its socket,
  // runs the LinkEvents reset sequence and waits for the next client.
  std::size_t receive(std::span<char> buffer);

  // Main thread. Closes the client's connection and runs the LinkEvents
  // reset sequence, as receive() does for a client that has gone; then waits
  // for the next client. Nothing happens without a client.
  void disconnect();

  // Any thread, never waits. Queues `text` and its NUL and sends what the
  // socket takes; false when no client is connected or the queue is full
  // (the text is dropped whole, counted and traced).
  bool send(std::string_view text) override;
  // The same for several texts, each already followed by its NUL, with one
  // send; all are dropped when they do not fit in the queue.
  bool sendBatch(std::string_view texts) override;
  // Texts dropped because the client did not read them in time.
  std::uint64_t droppedMessages() const { return dropped_.load(std::memory_order_relaxed); }

  // The port the server is bound to (the chosen one when constructed with 0),
  // or the requested port when the server could not be opened.
  std::uint16_t port() const { return port_; }
  bool isListening() const { return listening_; }
  bool isConnected() const { return connected_.load(std::memory_order_acquire); }
  LinkError lastError() const;
  // Why the server could not be opened; code 0 while it listens. Unlike
  // lastError(), later sends and receives never overwrite it.
  LinkError serverError() const { return serverError_; }

  void setProtocolTrace(ProtocolTrace trace);

 private:
  void openServer();
  void startAcceptThread();
  void acceptOne();
  void clientGone();
  void recordError(std::string_view context);
  void recordError(std::string_view context, std::int32_t code, std::string_view text,
                   bool traced = true);
  void recordServerError(std::string_view context);
  // `texts` are NUL-ended already unless `addNul`.
  bool queueAndSend(std::string_view texts, bool addNul);
  // Sends what the socket takes of the queue; false on a socket failure.
  bool flushLocked(SocketHandle socket) TESSARY_REQUIRES(sendMutex_);
  void flushQueued();
  // The flush thread: sends the queue's rest while it is not empty.
  void flushWhileQueued();
  void trace(TraceDirection direction, std::string_view text);

  SocketApi& sockets_;
  LinkEvents& events_;
  bool socketLayerStarted_ = false;
  SocketHandle listeningSocket_ = kNoSocket;
  std::uint16_t port_;
  Ipv4Address address_;
  bool listening_ = false;
  LinkError serverError_;  // written once, by the constructor
  std::thread acceptThread_;  // owned by the main thread (started, joined)
  ClientSlot* seat_;          // may be null: the link is the only kind of client

  // Guards dataSocket_, resetting_, stopping_, lastError_ and trace_. Held only
  // briefly; never while calling out.
  mutable std::mutex stateMutex_;
  std::condition_variable resetDone_;
  SocketHandle dataSocket_ = kNoSocket;
  bool resetting_ = false;  // a new client waits until the old one is reset
  bool stopping_ = false;
  LinkError lastError_;
  ProtocolTrace trace_;
  std::atomic<bool> connected_{false};

  // Serialises sends so texts never mix on the wire, and keeps the data socket
  // open while a send uses it. Taken before stateMutex_; held only for a
  // non-blocking send.
  Mutex sendMutex_;
  // Whole texts, each with its NUL, not yet taken by the socket; the front
  // one may have gone out in part.
  std::string outgoing_ TESSARY_GUARDED_BY(sendMutex_);
  std::atomic<std::uint64_t> dropped_{0};
  ConditionVariable queued_;  // with sendMutex_: the queue has a rest to send
  bool flushStopping_ TESSARY_GUARDED_BY(sendMutex_) = false;
  std::thread flushThread_;  // owned by the constructing thread (started, joined)
};

}  // namespace tessary
