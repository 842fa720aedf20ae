#include "web/web_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace tessary {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using boost::system::error_code;

namespace {

constexpr std::chrono::seconds kRequestTimeout{10};
constexpr std::size_t kRequestHeaderLimit = 8 * 1024;
constexpr std::size_t kRequestBodyLimit = 4 * 1024;
constexpr std::size_t kViewerReadLimit = 1024;
constexpr std::chrono::milliseconds kSeatRetry{100};

std::string_view view(beast::string_view text) { return {text.data(), text.size()}; }

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// The server's suggested timeouts, with pings while the peer is quiet: a page
// that only listens (for hits, for pictures) sends nothing for long spells,
// and its pongs are what keeps it from counting as gone.
websocket::stream_base::timeout socketTimeouts() {
  websocket::stream_base::timeout timeouts =
      websocket::stream_base::timeout::suggested(beast::role_type::server);
  timeouts.keep_alive_pings = true;
  return timeouts;
}

}  // namespace

class WebServer::Impl {
 public:
  Impl(WebClientLink& client, std::string_view page, std::string_view clientPage)
      : client_(client), page_(page), clientPage_(clientPage) {}

  ~Impl() { stop(); }

  bool start(const std::string& address, std::uint16_t port, std::string& error);
  void stop();

  std::uint16_t port() const { return port_.load(std::memory_order_relaxed); }
  bool watching() const { return viewers_.load(std::memory_order_acquire) > 0; }
  void publish(std::shared_ptr<const SetupUpdate> update);
  void trustClientOrigins(std::vector<std::string> origins);

  // Any thread: the client link queued a message.
  void messagesWaiting();
  // Main thread: the core ended the client's connection.
  void closeRequested(WebSession session);

 private:
  class HttpSession;
  class ViewerSession;
  class ClientSession;

  // What each viewer sends next: the newest of each kind, by number.
  struct Latest {
    std::shared_ptr<const std::vector<std::uint8_t>> picture;
    std::uint64_t pictureNumber = 0;
    std::shared_ptr<const std::string> state;
    std::uint64_t stateNumber = 0;
  };

  void accept();
  void offerToViewers();
  bool hostAllowed(std::string_view host) const;
  bool originAllowed(std::string_view origin) const;
  bool clientOriginAllowed(std::string_view origin) const;
  Latest latest() const;

  WebClientLink& client_;
  std::string_view page_;
  std::string_view clientPage_;

  // Shared with other threads; declared before the I/O objects so that
  // sessions destroyed with the io_context may still touch them.
  std::atomic<std::uint16_t> port_{0};
  std::atomic<int> viewers_{0};
  std::atomic<bool> offerPosted_{false};
  std::atomic<bool> flushPosted_{false};
  mutable std::mutex latestMutex_;  // guards latest_ only; a leaf
  Latest latest_;

  net::io_context io_{1};
  tcp::acceptor acceptor_{io_};
  std::thread thread_;  // the I/O thread; started and joined by the owner's thread
  bool started_ = false;
  std::vector<std::string> allowedHosts_;  // "host:port" texts a request may name
  // Further origins whose pages may open /client, in lower case; set before
  // start() and read only by the I/O thread afterwards.
  std::vector<std::string> clientOrigins_;
  bool anyClientOrigin_ = false;

  // I/O thread only.
  std::vector<std::weak_ptr<ViewerSession>> viewerSessions_;
  std::weak_ptr<ClientSession> clientSession_;
  int waitingClients_ = 0;
};

// --- The /client WebSocket ---------------------------------------------------

class WebServer::Impl::ClientSession : public std::enable_shared_from_this<ClientSession> {
 public:
  ClientSession(Impl& server, tcp::socket socket)
      : server_(server), ws_(std::move(socket)), retry_(ws_.get_executor()) {}

  void run(http::request<http::string_body> request) {
    ws_.set_option(socketTimeouts());
    ws_.read_message_max(WebClientLink::kMaxCommandBytes);
    ws_.async_accept(request, [self = shared_from_this()](error_code error) {
      if (!error) self->takeSeat();
    });
  }

  // I/O thread: the core ended this client's connection (its reset has run).
  // What it sent until then, such as the error saying why, goes out first.
  void closeFromCore(WebSession session) {
    if (session != session_) return;
    endedByCore_ = true;
    flush();
  }

  // I/O thread: sends what the link holds, one message at a time. Takes more
  // only when everything taken before is sent, so at most the link's bound
  // waits here too.
  void flush() {
    if (session_ == 0 || writing_ || closing_) return;
    if (outbox_.empty()) server_.client_.takeMessages(session_, outbox_);
    if (outbox_.empty()) {
      if (endedByCore_) closeWith(websocket::close_code::policy_error, "disconnected by Tessary");
      return;
    }
    writing_ = true;
    ws_.text(true);
    ws_.async_write(net::buffer(outbox_.front()),
                    [self = shared_from_this()](error_code error, std::size_t) {
                      self->writing_ = false;
                      self->outbox_.pop_front();
                      if (error) return self->end();
                      self->flush();
                    });
  }

 private:
  void takeSeat() {
    session_ = server_.client_.open();
    if (session_ != 0) {
      if (waiting_) --server_.waitingClients_;
      waiting_ = false;
      server_.clientSession_ = weak_from_this();
      read();
      flush();
      return;
    }
    if (!waiting_) {
      if (server_.waitingClients_ >= kMaxWaitingClients) {
        return closeWith(websocket::close_code::try_again_later, "another client is connected");
      }
      waiting_ = true;
      ++server_.waitingClients_;
    }
    // Connected but unanswered until the seat is free, as a TCP client in
    // the backlog.
    retry_.expires_after(kSeatRetry);
    retry_.async_wait([self = shared_from_this()](error_code error) {
      if (error) return self->dropWaiting();
      self->takeSeat();
    });
  }

  void dropWaiting() {
    if (waiting_) --server_.waitingClients_;
    waiting_ = false;
  }

  void read() {
    ws_.async_read(input_, [self = shared_from_this()](error_code error, std::size_t) {
      self->received(error);
    });
  }

  void received(error_code error) {
    if (error) return end();
    if (ws_.got_binary()) {
      return closeWith(websocket::close_code::unknown_data, "commands are text frames");
    }
    const auto data = input_.cdata();
    const std::string_view text(static_cast<const char*>(data.data()), data.size());
    const bool taken = server_.client_.deliver(session_, text);
    input_.consume(input_.size());
    if (!taken) {
      return closeWith(websocket::close_code::policy_error, "too much command text waiting");
    }
    read();
  }

  void closeWith(websocket::close_code code, const char* reason) {
    if (closing_) return;
    closing_ = true;
    end();
    ws_.async_close(websocket::close_reason(code, reason),
                    [self = shared_from_this()](error_code) {});
  }

  // The client is gone for the core; the reset follows at the next tick.
  void end() {
    dropWaiting();
    if (session_ != 0) server_.client_.close(session_);
    session_ = 0;
  }

  Impl& server_;
  websocket::stream<beast::tcp_stream> ws_;
  net::steady_timer retry_;
  beast::flat_buffer input_;
  std::deque<std::string> outbox_;
  WebSession session_ = 0;
  bool waiting_ = false;
  bool writing_ = false;
  bool closing_ = false;
  bool endedByCore_ = false;
};

// --- The /picture WebSocket --------------------------------------------------

class WebServer::Impl::ViewerSession : public std::enable_shared_from_this<ViewerSession> {
 public:
  ViewerSession(Impl& server, tcp::socket socket) : server_(server), ws_(std::move(socket)) {
    server_.viewers_.fetch_add(1, std::memory_order_acq_rel);
  }
  ~ViewerSession() { server_.viewers_.fetch_sub(1, std::memory_order_acq_rel); }

  void run(http::request<http::string_body> request) {
    ws_.set_option(socketTimeouts());
    ws_.read_message_max(kViewerReadLimit);
    ws_.async_accept(request, [self = shared_from_this()](error_code error) {
      if (error) return;
      self->open_ = true;
      self->server_.viewerSessions_.push_back(self);
      self->read();
      self->offer();
    });
  }

  // I/O thread: sends the newest picture, then the newest state, each only
  // when it is newer than the one this viewer last got. A viewer that is still
  // writing gets nothing now; when its write ends it takes whatever is newest
  // then, so the frames in between are dropped, never queued.
  void offer() {
    if (!open_ || writing_) return;
    Latest latest = server_.latest();
    if (latest.picture && latest.pictureNumber != sentPicture_) {
      sentPicture_ = latest.pictureNumber;
      sending_ = latest.picture;
      ws_.binary(true);
      write(net::buffer(*latest.picture));
    } else if (latest.state && latest.stateNumber != sentState_) {
      sentState_ = latest.stateNumber;
      sending_ = latest.state;
      ws_.text(true);
      write(net::buffer(*latest.state));
    }
  }

 private:
  void write(net::const_buffer bytes) {
    writing_ = true;
    ws_.async_write(bytes, [self = shared_from_this()](error_code error, std::size_t) {
      self->writing_ = false;
      self->sending_.reset();
      if (error) {
        self->open_ = false;
        return;
      }
      self->offer();
    });
  }

  // Nothing is expected from a viewer; reading answers its pings and notices
  // its close.
  void read() {
    ws_.async_read(input_, [self = shared_from_this()](error_code error, std::size_t) {
      if (error) {
        self->open_ = false;
        return;
      }
      self->input_.consume(self->input_.size());
      self->read();
    });
  }

  Impl& server_;
  websocket::stream<beast::tcp_stream> ws_;
  beast::flat_buffer input_;
  std::shared_ptr<const void> sending_;  // keeps the bytes of the write in flight
  std::uint64_t sentPicture_ = 0;
  std::uint64_t sentState_ = 0;
  bool open_ = false;
  bool writing_ = false;
};

// --- Plain HTTP --------------------------------------------------------------

class WebServer::Impl::HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(Impl& server, tcp::socket socket) : server_(server), stream_(std::move(socket)) {
    parser_.header_limit(kRequestHeaderLimit);
    parser_.body_limit(kRequestBodyLimit);
  }

  void run() {
    stream_.expires_after(kRequestTimeout);
    http::async_read(stream_, buffer_, parser_,
                     [self = shared_from_this()](error_code error, std::size_t) {
                       self->received(error);
                     });
  }

 private:
  void received(error_code error) {
    if (error == http::error::end_of_stream || error == beast::error::timeout) return close();
    if (error) return respond(http::status::bad_request, "malformed request\n");

    http::request<http::string_body> request = parser_.release();
    if (!server_.hostAllowed(view(request[http::field::host]))) {
      return respond(http::status::misdirected_request, "unknown host\n");
    }
    if (websocket::is_upgrade(request)) return upgrade(std::move(request));
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
      return respond(http::status::method_not_allowed, "only GET\n");
    }
    const bool headOnly = request.method() == http::verb::head;
    // The query string is the page's own business (the client page takes
    // ?code=...).
    const std::string_view target = view(request.target());
    const std::string_view path = target.substr(0, target.find('?'));
    if (path == "/clients/js/tessary.mjs") {
      return respond(http::status::ok, clientModuleJs(), "text/javascript; charset=utf-8", headOnly);
    }
    std::string_view page;
    if (path == "/" || path == "/index.html") {
      page = server_.page_;
    } else if (path == "/web-client.html" && !server_.clientPage_.empty()) {
      page = server_.clientPage_;
    } else {
      return respond(http::status::not_found, "not found\n");
    }
    respond(http::status::ok, page, "text/html; charset=utf-8", headOnly);
  }

  void upgrade(http::request<http::string_body> request) {
    stream_.expires_never();
    const std::string_view target = view(request.target());
    if (target == "/client") {
      // Any page the user has open could otherwise take the seat and try
      // codes; programs that send no Origin are clients like TCP ones.
      if (!server_.clientOriginAllowed(view(request[http::field::origin]))) {
        return respond(http::status::forbidden,
                       "pages of this origin may not be a client (see --web-origin)\n");
      }
      std::make_shared<ClientSession>(server_, stream_.release_socket())->run(std::move(request));
      return;
    }
    if (target == "/picture") {
      // The camera picture is for this server's own page only, never for
      // another site the browser happens to show.
      if (!server_.originAllowed(view(request[http::field::origin]))) {
        return respond(http::status::forbidden, "the picture is for the setup page only\n");
      }
      if (server_.viewers_.load() >= kMaxViewers) {
        return respond(http::status::service_unavailable, "too many viewers\n");
      }
      std::make_shared<ViewerSession>(server_, stream_.release_socket())->run(std::move(request));
      return;
    }
    respond(http::status::not_found, "not found\n");
  }

  void respond(http::status status, std::string_view body,
               std::string_view type = "text/plain; charset=utf-8", bool headOnly = false) {
    response_.result(status);
    response_.version(11);
    response_.set(http::field::server, "Tessary");
    response_.set(http::field::content_type, beast::string_view(type.data(), type.size()));
    response_.set(http::field::cache_control, "no-store");
    response_.set("X-Content-Type-Options", "nosniff");
    response_.set("X-Frame-Options", "DENY");
    response_.keep_alive(false);
    if (headOnly) {
      response_.content_length(body.size());
    } else {
      response_.body().assign(body);
      response_.prepare_payload();
    }
    stream_.expires_after(kRequestTimeout);
    http::async_write(stream_, response_, [self = shared_from_this()](error_code, std::size_t) {
      self->close();
    });
  }

  void close() {
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
  }

  Impl& server_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  http::request_parser<http::string_body> parser_;
  http::response<http::string_body> response_;
};

// --- The server ----------------------------------------------------------------

bool WebServer::Impl::start(const std::string& addressText, std::uint16_t requestedPort,
                            std::string& error) {
  if (started_) return true;
  error_code failure;
  const net::ip::address address = net::ip::make_address(addressText, failure);
  if (failure) {
    error = "'" + addressText + "' is no IP address";
    return false;
  }
  const tcp::endpoint endpoint(address, requestedPort);
  acceptor_.open(endpoint.protocol(), failure);
#ifdef _WIN32
  // Windows' SO_REUSEADDR would let this socket share a port another program
  // listens on (and theirs share ours): the port is ours alone, or an error.
  const BOOL exclusive = TRUE;
  if (!failure && ::setsockopt(acceptor_.native_handle(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                               reinterpret_cast<const char*>(&exclusive), sizeof(exclusive)) != 0) {
    failure = error_code(::WSAGetLastError(), net::error::get_system_category());
  }
#else
  if (!failure) acceptor_.set_option(net::socket_base::reuse_address(true), failure);
#endif
  if (!failure) acceptor_.bind(endpoint, failure);
  if (!failure) acceptor_.listen(net::socket_base::max_listen_connections, failure);
  if (failure) {
    error = failure.message();
    error_code ignored;
    acceptor_.close(ignored);
    return false;
  }
  const std::uint16_t bound = acceptor_.local_endpoint(failure).port();
  port_.store(bound, std::memory_order_relaxed);
  const std::string port = std::to_string(bound);
  allowedHosts_ = {"127.0.0.1:" + port, "localhost:" + port, "[::1]:" + port};
  if (!address.is_unspecified()) {
    const std::string host = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
    allowedHosts_.push_back(host + ":" + port);
  }
  client_.setPort(bound);
  client_.setMessagesWaiting(MemberCallback<>::bind(this, &Impl::messagesWaiting));
  client_.setCloseRequested(MemberCallback<WebSession>::bind(this, &Impl::closeRequested));
  accept();
  started_ = true;
  thread_ = std::thread([this] { io_.run(); });
  return true;
}

void WebServer::Impl::stop() {
  if (!started_) return;
  started_ = false;
  client_.setMessagesWaiting({});
  client_.setCloseRequested({});
  io_.stop();
  if (thread_.joinable()) thread_.join();
  error_code ignored;
  acceptor_.close(ignored);
}

void WebServer::Impl::accept() {
  acceptor_.async_accept([this](error_code error, tcp::socket socket) {
    if (error == net::error::operation_aborted) return;
    if (!error) std::make_shared<HttpSession>(*this, std::move(socket))->run();
    accept();
  });
}

bool WebServer::Impl::hostAllowed(std::string_view host) const {
  for (const std::string& allowed : allowedHosts_) {
    if (host == allowed) return true;
  }
  return false;
}

bool WebServer::Impl::clientOriginAllowed(std::string_view origin) const {
  if (anyClientOrigin_ || originAllowed(origin)) return true;
  const std::string lower = lowerCase(origin);
  for (const std::string& trusted : clientOrigins_) {
    if (lower == trusted) return true;
  }
  return false;
}

void WebServer::Impl::trustClientOrigins(std::vector<std::string> origins) {
  if (started_) return;
  clientOrigins_.clear();
  anyClientOrigin_ = false;
  for (const std::string& origin : origins) {
    if (origin == "*") anyClientOrigin_ = true;
    std::string lower = lowerCase(origin);
    // A browser never ends an origin with "/"; a user may.
    while (lower.ends_with('/')) lower.pop_back();
    clientOrigins_.push_back(std::move(lower));
  }
}

bool WebServer::Impl::originAllowed(std::string_view origin) const {
  // Programs other than browsers send no Origin.
  if (origin.empty()) return true;
  constexpr std::string_view kScheme = "http://";
  return origin.starts_with(kScheme) && hostAllowed(origin.substr(kScheme.size()));
}

WebServer::Impl::Latest WebServer::Impl::latest() const {
  std::lock_guard lock(latestMutex_);
  return latest_;
}

void WebServer::Impl::publish(std::shared_ptr<const SetupUpdate> update) {
  if (!update) return;
  {
    std::lock_guard lock(latestMutex_);
    if (!update->picture.empty()) {
      latest_.picture = std::shared_ptr<const std::vector<std::uint8_t>>(update, &update->picture);
      ++latest_.pictureNumber;
    }
    if (!latest_.state || *latest_.state != update->state) {
      latest_.state = std::shared_ptr<const std::string>(update, &update->state);
      ++latest_.stateNumber;
    }
  }
  // One wake-up at a time; it looks at whatever is newest when it runs.
  if (!offerPosted_.exchange(true)) net::post(io_, [this] { offerToViewers(); });
}

void WebServer::Impl::offerToViewers() {
  offerPosted_.store(false);
  std::erase_if(viewerSessions_, [](const std::weak_ptr<ViewerSession>& viewer) {
    return viewer.expired();
  });
  for (const std::weak_ptr<ViewerSession>& weak : viewerSessions_) {
    if (auto viewer = weak.lock()) viewer->offer();
  }
}

void WebServer::Impl::messagesWaiting() {
  if (flushPosted_.exchange(true)) return;
  net::post(io_, [this] {
    flushPosted_.store(false);
    if (auto session = clientSession_.lock()) session->flush();
  });
}

void WebServer::Impl::closeRequested(WebSession session) {
  net::post(io_, [this, session] {
    if (auto client = clientSession_.lock()) client->closeFromCore(session);
  });
}

WebServer::WebServer(WebClientLink& client, std::string_view page, std::string_view clientPage)
    : impl_(std::make_unique<Impl>(client, page, clientPage)) {}

WebServer::~WebServer() = default;

bool WebServer::start(const std::string& address, std::uint16_t port, std::string& error) {
  return impl_->start(address, port, error);
}

void WebServer::stop() { impl_->stop(); }

std::uint16_t WebServer::port() const { return impl_->port(); }

void WebServer::trustClientOrigins(std::vector<std::string> origins) {
  impl_->trustClientOrigins(std::move(origins));
}

bool WebServer::watching() const { return impl_->watching(); }

void WebServer::publish(std::shared_ptr<const SetupUpdate> update) {
  impl_->publish(std::move(update));
}

std::unique_ptr<SetupServer> makeWebServer(WebClientLink& client) {
  return std::make_unique<WebServer>(client, setupPageHtml(), webClientPageHtml());
}

}  // namespace tessary
