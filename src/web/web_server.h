// The setup page's HTTP and WebSocket server (Boost.Beast over Asio), on a
// thread of its own:
//   GET /             the setup page
//   GET /web-client.html a minimal browser client of the command language
//   GET /clients/js/tessary.mjs  the JavaScript client module, where a page of
//                     this server that imports "../clients/js/tessary.mjs"
//                     finds it (as in the checkout)
//   WebSocket /picture the live picture (binary RGBA frames) and the zones'
//                     state (JSON text frames), latest only, never queued
//   WebSocket /client a client of the command language, one text frame per
//                     command text and per message
//
// Threads: one I/O thread, owned by this object (started by start(), joined
// by stop()), runs every socket operation. It reaches the core only through
// WebClientLink's queues and hands pictures over through publish()'s single
// latest-update slot; it never calls the core while holding a lock of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/setup_view.h"
#include "link/web_client_link.h"

namespace tessary {

class WebServer final : public SetupServer {
 public:
  static constexpr std::uint16_t kDefaultPort = 2153;
  // Clients that wait for the seat, connected but unanswered (as TCP clients
  // wait in the backlog); more are turned away.
  static constexpr int kMaxWaitingClients = 4;
  static constexpr int kMaxViewers = 8;

  // `client` must outlive the server; `page` is the setup page's HTML,
  // `clientPage` the browser client's (none when empty).
  WebServer(WebClientLink& client, std::string_view page, std::string_view clientPage = {});
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds and listens on the calling thread, then starts the I/O thread.
  // False, with `error` saying why, when the server cannot listen.
  // `address` is a numeric IPv4 or IPv6 address.
  bool start(const std::string& address, std::uint16_t port, std::string& error) override;
  // Closes every connection and joins the I/O thread. Safe to call twice.
  void stop();
  // The bound port once started.
  std::uint16_t port() const override;
  // Before start(). Without it only the server's own pages (and programs
  // that send no Origin) may open /client.
  void trustClientOrigins(std::vector<std::string> origins) override;

  // SetupViewers; any thread.
  bool watching() const override;
  void publish(std::shared_ptr<const SetupUpdate> update) override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// The setup page and the minimal browser client compiled into the program.
std::string_view setupPageHtml();
std::string_view webClientPageHtml();
// clients/js/tessary.mjs compiled into the program.
std::string_view clientModuleJs();

// A WebServer with the built-in page (a SetupServerFactory).
std::unique_ptr<SetupServer> makeWebServer(WebClientLink& client);

}  // namespace tessary
