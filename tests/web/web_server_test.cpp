// The web server over loopback with Beast's own clients: the page, bad
// requests, the /client endpoint against the core's WebClientLink, and the
// picture's latest-only delivery to viewers.
#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <thread>

#include "link/support/link_fakes.h"
#include "web/web_server.h"

namespace tessary {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using namespace std::chrono_literals;

constexpr std::string_view kPage = "<!DOCTYPE html><title>page</title>";
constexpr std::string_view kClientPage = "<!DOCTYPE html><title>client</title>";

class WebServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.trustClientOrigins({"http://Kiosk.example:3000/"});
    std::string error;
    ASSERT_TRUE(server_.start("127.0.0.1", 0, error)) << error;
    host_ = "127.0.0.1:" + std::to_string(server_.port());
  }

  tcp::socket connect() {
    tcp::socket socket(io_);
    socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), server_.port()));
    return socket;
  }

  // Sends `raw` as it is and returns the whole answer.
  std::string exchange(std::string_view raw) {
    tcp::socket socket = connect();
    net::write(socket, net::buffer(raw));
    std::string answer;
    beast::error_code error;
    std::array<char, 4096> chunk;
    for (;;) {
      const std::size_t read = socket.read_some(net::buffer(chunk), error);
      if (error) break;
      answer.append(chunk.data(), read);
    }
    return answer;
  }

  http::response<http::string_body> get(std::string target, std::string host) {
    beast::tcp_stream stream(connect());
    http::request<http::empty_body> request(http::verb::get, target, 11);
    request.set(http::field::host, host);
    http::write(stream, request);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    http::read(stream, buffer, response);
    return response;
  }

  std::unique_ptr<websocket::stream<tcp::socket>> openSocket(const std::string& target,
                                                             const std::string& origin = "") {
    auto ws = std::make_unique<websocket::stream<tcp::socket>>(connect());
    ws->set_option(websocket::stream_base::decorator([origin](websocket::request_type& request) {
      if (!origin.empty()) request.set(http::field::origin, origin);
    }));
    ws->handshake(host_, target);
    return ws;
  }

  // What the main thread's tick reads from the link, NULs shown as '|'.
  std::string received() {
    std::array<char, 2048> buffer;
    const std::size_t read = link_.receive(buffer);
    std::string text(buffer.data(), read);
    std::replace(text.begin(), text.end(), '\0', '|');
    return text;
  }

  std::string readText(websocket::stream<tcp::socket>& ws) {
    beast::flat_buffer buffer;
    ws.read(buffer);
    EXPECT_TRUE(ws.got_text());
    return beast::buffers_to_string(buffer.data());
  }

  // The close code the server ends the connection with (the socket's own
  // teardown may race the closing handshake, so only the code counts).
  int closeCode(websocket::stream<tcp::socket>& ws) {
    beast::flat_buffer buffer;
    beast::error_code error;
    while (!error) ws.read(buffer, error);
    return ws.reason().code;
  }

  net::io_context io_;
  ClientSlot seat_;
  testing::RecordingLinkEvents events_;
  WebClientLink link_{seat_, events_};
  WebServer server_{link_, kPage, kClientPage};
  std::string host_;
};

TEST_F(WebServerTest, ServesThePageAndAnswersBadRequestsClearly) {
  const auto page = get("/", host_);
  EXPECT_EQ(page.result(), http::status::ok);
  EXPECT_EQ(page.body(), kPage);
  EXPECT_EQ(page[http::field::content_type], "text/html; charset=utf-8");
  EXPECT_EQ(get("/", "localhost:" + std::to_string(server_.port())).result(), http::status::ok);

  EXPECT_EQ(get("/secret", host_).result(), http::status::not_found);
  // A page of another name (DNS rebinding) gets nothing.
  EXPECT_EQ(get("/", "attacker.example:80").result(), http::status::misdirected_request);
  EXPECT_TRUE(exchange("POST / HTTP/1.1\r\nHost: " + host_ + "\r\nContent-Length: 0\r\n\r\n")
                  .starts_with("HTTP/1.1 405"));
  EXPECT_TRUE(exchange("GARBAGE\r\n\r\n").starts_with("HTTP/1.1 400"));
  EXPECT_TRUE(exchange("GET / HTTP/1.1\r\nHost: " + host_ + "\r\nX-Long: " +
                       std::string(20000, 'a') + "\r\n\r\n")
                  .starts_with("HTTP/1.1 400"));
  // The camera picture is for the setup page only, not for other sites.
  try {
    openSocket("/picture", "http://attacker.example");
    ADD_FAILURE() << "a foreign page got the picture";
  } catch (const beast::system_error& error) {
    EXPECT_EQ(error.code(), websocket::error::upgrade_declined);
  }
  EXPECT_NO_THROW(openSocket("/picture", "http://" + host_));
  EXPECT_EQ(get("/web-client.html?code=x", host_).body(), kClientPage);
}

TEST_F(WebServerTest, OnlyTrustedPagesAndProgramsWithoutOriginMayBeTheClient) {
  // Any site the user has open could otherwise take the seat and try codes.
  const std::string refused = exchange(
      "GET /client HTTP/1.1\r\nHost: " + host_ +
      "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nOrigin: http://attacker.example\r\n\r\n");
  EXPECT_TRUE(refused.starts_with("HTTP/1.1 403")) << refused;
  EXPECT_TRUE(refused.ends_with("pages of this origin may not be a client (see --web-origin)\n"))
      << refused;
  // The picture stays with the server's own page, whatever the client may.
  EXPECT_THROW(openSocket("/picture", "http://kiosk.example:3000"), beast::system_error);
  EXPECT_FALSE(link_.isConnected());

  for (const std::string& origin : {"http://" + host_, std::string("http://kiosk.example:3000"),
                                   std::string()}) {
    auto ws = openSocket("/client", origin);
    ASSERT_TRUE(testing::waitUntil([&] { return link_.isConnected(); })) << origin;
    ws->close(websocket::close_code::normal);
    ASSERT_TRUE(testing::waitUntil([&] {
      received();
      return !link_.isConnected();
    }));
  }
}

TEST_F(WebServerTest, ClientFramesAreCommandTextsAndMessagesComeBackAsFrames) {
  auto ws = openSocket("/client");
  ASSERT_TRUE(testing::waitUntil([&] { return link_.isConnected(); }));
  EXPECT_EQ(seat_.holder(), ClientKind::kWeb);
  ws->write(net::buffer(std::string("login(x);whoareyou()")));
  ws->write(net::buffer(std::string("check_zone(a)")));
  std::string commands;
  ASSERT_TRUE(testing::waitUntil([&] {
    commands += received();
    return commands == "login(x);whoareyou()|check_zone(a)|";
  })) << commands;

  EXPECT_TRUE(link_.send("<login status=\"failed\">"));
  // A name cut inside a character still arrives as valid text.
  EXPECT_TRUE(link_.send("cut\xC3"));
  EXPECT_EQ(readText(*ws), "<login status=\"failed\">");
  EXPECT_EQ(readText(*ws), "cut\xEF\xBF\xBD");

  // A second client waits, unanswered, while the seat is taken.
  auto second = openSocket("/client");
  second->write(net::buffer(std::string("whoareyou()")));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(received(), "");

  // Commands are text: a binary frame ends the connection, and the reset
  // (its steps are checked in web_client_link_test.cpp) runs at the next tick.
  ws->binary(true);
  ws->write(net::buffer(std::string("login(x)")));
  EXPECT_EQ(closeCode(*ws), websocket::close_code::unknown_data);
  ASSERT_TRUE(testing::waitUntil([&] {
    received();
    return events_.count("resetBlendFactors") == 1;
  }));

  // Now the second one is served; a frame too big for one read is refused.
  std::string served;
  ASSERT_TRUE(testing::waitUntil([&] {
    served += received();
    return served == "whoareyou()|";
  })) << served;
  second->write(net::buffer(std::string(WebClientLink::kMaxCommandBytes + 1, 'a')));
  EXPECT_EQ(closeCode(*second), websocket::close_code::too_big);
}

TEST_F(WebServerTest, TheCoreCanEndTheClientsConnection) {
  auto ws = openSocket("/client");
  ASSERT_TRUE(testing::waitUntil([&] { return link_.isConnected(); }));
  // As the login deadline does: the error saying why still goes out.
  EXPECT_TRUE(link_.send("<error content=\"why\">"));
  link_.disconnect();
  EXPECT_EQ(events_.count("logOut"), 1u);
  EXPECT_EQ(readText(*ws), "<error content=\"why\">");
  EXPECT_EQ(closeCode(*ws), websocket::close_code::policy_error);
  EXPECT_EQ(ws->reason().reason, "disconnected by Tessary");
  EXPECT_NE(link_.open(), 0u);  // the seat is free again
}

TEST_F(WebServerTest, ASlowViewerNeverHoldsThePublisherAndMissesFramesInstead) {
  // One viewer never reads; the publisher goes on at once all the same.
  auto stalled = openSocket("/picture");
  ASSERT_TRUE(testing::waitUntil([&] { return server_.watching(); }));
  for (int n = 1; n <= 200; ++n) {
    auto update = std::make_shared<SetupUpdate>();
    update->picture.assign(76800, static_cast<std::uint8_t>(n));
    update->state = "{\"n\":" + std::to_string(n) + "}";
    server_.publish(std::move(update));
    std::this_thread::sleep_for(1ms);
  }
  // A new viewer gets the newest picture and state, nothing older.
  auto viewer = openSocket("/picture");
  beast::flat_buffer buffer;
  viewer->read(buffer);
  ASSERT_TRUE(viewer->got_binary());
  ASSERT_EQ(buffer.size(), 76800u);
  EXPECT_EQ(static_cast<const std::uint8_t*>(buffer.data().data())[0], 200);
  EXPECT_EQ(readText(*viewer), "{\"n\":200}");
  viewer->close(websocket::close_code::normal);
  stalled.reset();
}

}  // namespace
}  // namespace tessary
