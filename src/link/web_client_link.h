// The WebSocket client as the core sees it: a source of command texts and a
// sink for messages, like the TCP link, with the transport (the web server)
// on its own thread on the other side.
//
// One text frame from the browser is one command text (what a NUL-ended text
// is on TCP); every message goes back as one text frame. The transport and
// the core meet only in the two bounded queues below, guarded by mutex_,
// which this object owns and never holds while calling out. The reset when
// the client goes runs on the main thread, inside receive(), exactly as the
// TCP link's does.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "common/member_callback.h"
#include "link/client_slot.h"
#include "link/command_source.h"
#include "link/message_sink.h"
#include "link/tcp_link.h"

namespace tessary {

// A WebSocket client's turn at the seat; 0 is no session.
using WebSession = std::uint64_t;

class WebClientLink final : public MessageSink {
 public:
  // The longest command text: what one receive of the interpreter holds.
  static constexpr std::size_t kMaxCommandBytes = 2047;
  // Command text received but not yet executed; more means the client sends
  // faster than the ticks execute and is cut off.
  static constexpr std::size_t kMaxPendingCommandBytes = 64 * 1024;
  // Messages not yet taken by the transport; beyond this a message is dropped
  // (as a TCP send that times out is), so a client that stops reading never
  // holds memory or the detection thread.
  static constexpr std::size_t kMaxPendingMessageBytes = 256 * 1024;

  // `seat` and `events` must outlive the link.
  WebClientLink(ClientSlot& seat, LinkEvents& events);
  WebClientLink(const WebClientLink&) = delete;
  WebClientLink& operator=(const WebClientLink&) = delete;

  // --- The transport's side (the web server's thread) ---------------------
  // Takes the seat for a new client: its session, or 0 while another client
  // (TCP or WebSocket, or the reset after one) holds the seat.
  WebSession open();
  // One command text arrived. False when too much text is waiting already;
  // the transport then closes the connection (the session ends as by close).
  // Text for a session that has ended is dropped: its close follows.
  bool deliver(WebSession session, std::string_view text);
  // Moves the waiting messages, oldest first, to the end of `out`. For a
  // session the core has just ended (see disconnect()), the messages queued
  // before the end, once.
  void takeMessages(WebSession session, std::deque<std::string>& out);
  // The client went away or was closed. The reset follows at the next receive().
  void close(WebSession session);
  // Called after a message was queued, on the sending thread (which may be the
  // detection thread) and with the reply sender's lock held: it must return
  // at once and never call back into the core. A send may still be calling
  // the previous callback when this returns, so its target must live until
  // no other thread sends (the shell stops the server after detection).
  void setMessagesWaiting(MemberCallback<> callback);
  // Called on the main thread when the core ends the client's connection
  // (see disconnect()); the transport then closes it. It must return at once.
  void setCloseRequested(MemberCallback<WebSession> callback);
  // The server's port, for the window search ("watch").
  void setPort(std::uint16_t port) { port_.store(port, std::memory_order_relaxed); }

  // --- The core's side ----------------------------------------------------
  // Main thread, once per tick, like TcpLink::receive: whole waiting texts,
  // each followed by a NUL, as many as fit in buffer.size() - 1 bytes. Runs
  // the LinkEvents reset when the client has gone, then frees the seat.
  std::size_t receive(std::span<char> buffer);
  // Any thread. Queues `text` (made valid UTF-8) for the client; false when
  // no client is connected or the queue is full (the message is dropped).
  bool send(std::string_view text) override;
  bool sendBatch(std::string_view texts) override;
  // Main thread: ends the client's connection as if it had gone; the reset
  // runs now, as the TCP link's does. The messages queued until then still
  // reach the client before the transport closes the connection.
  void disconnect();

  bool isConnected() const { return connected_.load(std::memory_order_acquire); }
  std::uint16_t port() const { return port_.load(std::memory_order_relaxed); }
  // Messages dropped because the client did not read them in time.
  std::uint64_t droppedMessages() const;
  void setProtocolTrace(ProtocolTrace trace);

 private:
  void runReset();
  // Queues each NUL-ended text of `texts` (or `texts` itself, whole, when
  // `single`), waking the transport once.
  bool queue(std::string_view texts, bool single);

  ClientSlot& seat_;
  LinkEvents& events_;
  std::atomic<std::uint16_t> port_{0};
  std::atomic<bool> connected_{false};

  // Guards everything below.
  mutable std::mutex mutex_;
  WebSession session_ = 0;     // the current client's, 0 when none
  WebSession lastSession_ = 0;
  bool gone_ = false;          // the client went; the reset is due
  std::deque<std::string> commands_;
  std::size_t commandBytes_ = 0;
  std::deque<std::string> messages_;
  std::size_t messageBytes_ = 0;
  std::uint64_t dropped_ = 0;
  // The last messages of a session the core ended, until its transport takes
  // them; bounded as messages_ is.
  WebSession farewellSession_ = 0;
  std::deque<std::string> farewell_;
  MemberCallback<> messagesWaiting_;
  MemberCallback<WebSession> closeRequested_;
  ProtocolTrace trace_;
};

// The interpreter's source and the reply sender's sink over both kinds of
// client: whichever holds the seat is read and written.
class ClientLinks final : public CommandSource, public MessageSink {
 public:
  // `web` may be null (no web server).
  ClientLinks(TcpLink& tcp, WebClientLink* web) : tcp_(tcp), web_(web) {}
  // Makes `client` (the zones file, which holds the seat for good) the one
  // that is written to; set once, before any message. Not owned.
  void setFileClient(MessageSink* client) { file_ = client; }

  std::size_t receive(std::span<char> buffer) override;
  std::uint16_t port() const override;
  void disconnect() override;
  bool send(std::string_view text) override;
  bool sendBatch(std::string_view texts) override;
  bool isConnected() const;
  ClientKind connectedKind() const;

 private:
  TcpLink& tcp_;
  WebClientLink* web_;
  MessageSink* file_ = nullptr;
};

}  // namespace tessary
