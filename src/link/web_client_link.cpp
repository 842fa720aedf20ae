#include "link/web_client_link.h"

#include <algorithm>
#include <cstring>

#include "link/utf8_text.h"

namespace tessary {

WebClientLink::WebClientLink(ClientSlot& seat, LinkEvents& events)
    : seat_(seat), events_(events) {}

WebSession WebClientLink::open() {
  if (!seat_.tryClaim(ClientKind::kWeb)) return 0;
  WebSession session = 0;
  {
    std::lock_guard lock(mutex_);
    session = session_ = ++lastSession_;
    gone_ = false;
    commands_.clear();
    commandBytes_ = 0;
    messages_.clear();
    messageBytes_ = 0;
  }
  connected_.store(true, std::memory_order_release);
  return session;
}

bool WebClientLink::deliver(WebSession session, std::string_view text) {
  std::lock_guard lock(mutex_);
  if (session == 0 || session != session_ || gone_) return true;
  if (commandBytes_ + text.size() > kMaxPendingCommandBytes) return false;
  commands_.emplace_back(text);
  commandBytes_ += text.size();
  return true;
}

void WebClientLink::takeMessages(WebSession session, std::deque<std::string>& out) {
  std::lock_guard lock(mutex_);
  if (session != 0 && session == farewellSession_) {
    for (std::string& message : farewell_) out.push_back(std::move(message));
    farewell_.clear();
    farewellSession_ = 0;
    return;
  }
  if (session == 0 || session != session_) return;
  for (std::string& message : messages_) out.push_back(std::move(message));
  messages_.clear();
  messageBytes_ = 0;
}

void WebClientLink::close(WebSession session) {
  std::lock_guard lock(mutex_);
  if (session == 0 || session != session_) return;
  gone_ = true;
}

void WebClientLink::setMessagesWaiting(MemberCallback<> callback) {
  std::lock_guard lock(mutex_);
  messagesWaiting_ = callback;
}

void WebClientLink::setCloseRequested(MemberCallback<WebSession> callback) {
  std::lock_guard lock(mutex_);
  closeRequested_ = callback;
}

void WebClientLink::disconnect() {
  if (!isConnected()) return;
  WebSession session = 0;
  MemberCallback<WebSession> closeRequested;
  {
    std::lock_guard lock(mutex_);
    session = session_;
    closeRequested = closeRequested_;
    // Such as the error that says why; the reset would drop them.
    farewellSession_ = session;
    farewell_ = std::move(messages_);
    messages_.clear();
    messageBytes_ = 0;
  }
  runReset();
  if (session != 0) closeRequested(session);
}

void WebClientLink::setProtocolTrace(ProtocolTrace trace) {
  std::lock_guard lock(mutex_);
  trace_ = trace;
}

std::uint64_t WebClientLink::droppedMessages() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

std::size_t WebClientLink::receive(std::span<char> buffer) {
  std::fill(buffer.begin(), buffer.end(), '\0');
  if (!isConnected() || buffer.size() < 2) return 0;
  // The last byte stays a NUL, as with the TCP link.
  const std::size_t room = buffer.size() - 1;
  std::size_t used = 0;
  bool gone = false;
  ProtocolTrace trace;
  {
    std::lock_guard lock(mutex_);
    gone = gone_;
    trace = trace_;
    while (!gone && !commands_.empty()) {
      std::string& text = commands_.front();
      if (used + text.size() + 1 <= room) {
        std::memcpy(buffer.data() + used, text.data(), text.size());
        used += text.size() + 1;  // the NUL is already there
        commandBytes_ -= text.size();
        commands_.pop_front();
        continue;
      }
      if (used == 0) {
        // Longer than a whole read: the rest follows as a text of its own,
        // just as a read boundary cuts a TCP text.
        const std::size_t part = std::min(text.size(), room);
        std::memcpy(buffer.data(), text.data(), part);
        used = part;
        text.erase(0, part);
        commandBytes_ -= part;
        if (text.empty()) commands_.pop_front();
      }
      break;
    }
  }
  if (gone) {
    runReset();
    return 0;
  }
  if (used > 0) trace(TraceDirection::kReceived, std::string_view(buffer.data(), used));
  return used;
}

void WebClientLink::runReset() {
  connected_.store(false, std::memory_order_release);
  {
    std::lock_guard lock(mutex_);
    session_ = 0;
    gone_ = false;
    commands_.clear();
    commandBytes_ = 0;
    messages_.clear();
    messageBytes_ = 0;
  }
  events_.clearAllZones();
  events_.stopCapture();
  events_.resetReplies();
  events_.logOut();
  events_.resetBlendFactors();
  // Only now may the next client, of either kind, take the seat.
  seat_.release(ClientKind::kWeb);
}

bool WebClientLink::send(std::string_view text) { return queue(text, true); }

bool WebClientLink::sendBatch(std::string_view texts) { return queue(texts, false); }

bool WebClientLink::queue(std::string_view texts, bool single) {
  MemberCallback<> waiting;
  ProtocolTrace trace;
  bool dropped = false;
  {
    std::lock_guard lock(mutex_);
    if (session_ == 0 || gone_) return false;
    std::string_view rest = texts;
    while (!rest.empty()) {
      std::size_t end = single ? std::string_view::npos : rest.find('\0');
      if (end == std::string_view::npos) end = rest.size();
      const std::string_view text = rest.substr(0, end);
      rest.remove_prefix(std::min(end + 1, rest.size()));
      if (messageBytes_ + text.size() > kMaxPendingMessageBytes) {
        ++dropped_;
        dropped = true;
        continue;
      }
      std::string message;
      message.reserve(text.size());
      appendValidUtf8(message, text);
      messageBytes_ += message.size();
      messages_.push_back(std::move(message));
    }
    waiting = messagesWaiting_;
    trace = trace_;
  }
  waiting();
  trace(dropped ? TraceDirection::kDropped : TraceDirection::kSent, texts);
  return !dropped;
}

std::size_t ClientLinks::receive(std::span<char> buffer) {
  const std::size_t read = tcp_.receive(buffer);
  if (read > 0 || web_ == nullptr) return read;
  return web_->receive(buffer);
}

std::uint16_t ClientLinks::port() const {
  return connectedKind() == ClientKind::kWeb ? web_->port() : tcp_.port();
}

void ClientLinks::disconnect() {
  if (web_ != nullptr && web_->isConnected()) {
    web_->disconnect();
  } else {
    tcp_.disconnect();
  }
}

bool ClientLinks::send(std::string_view text) {
  if (file_ != nullptr) return file_->send(text);
  if (web_ != nullptr && web_->isConnected()) return web_->send(text);
  return tcp_.send(text);
}

bool ClientLinks::sendBatch(std::string_view texts) {
  if (file_ != nullptr) return file_->sendBatch(texts);
  if (web_ != nullptr && web_->isConnected()) return web_->sendBatch(texts);
  return tcp_.sendBatch(texts);
}

bool ClientLinks::isConnected() const { return connectedKind() != ClientKind::kNone; }

ClientKind ClientLinks::connectedKind() const {
  if (file_ != nullptr) return ClientKind::kFile;
  if (tcp_.isConnected()) return ClientKind::kTcp;
  if (web_ != nullptr && web_->isConnected()) return ClientKind::kWeb;
  return ClientKind::kNone;
}

}  // namespace tessary
