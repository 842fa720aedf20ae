// The program's WebSocket client end to end: which pages may be the client,
// and the login deadline for a WebSocket client, with Beast's own client.
#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <memory>
#include <string>
#include <vector>

#include "shell/program_under_test.h"
#include "support/child_process.h"
#include "support/test_client.h"

namespace tessary {
namespace {

using namespace tessary::testing;
namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;

class WebProgramTest : public ProgramFixture {
 protected:
  // Starts the program; false (a failure recorded) without both start-up lines.
  bool start(ChildProcess& server, std::vector<std::string> extra) {
    extra.insert(extra.end(), {"--headless", "--camera", "demo", "--port", "0", "--web-port", "0",
                               "--code-file", codeFile_});
    port_ = startProgram(server, extra, environment());
    const std::optional<std::string> page = server.readLine(10s);
    const std::string prefix = "Tessary setup page at http://127.0.0.1:";
    if (port_ == 0 || !page || !page->starts_with(prefix)) {
      ADD_FAILURE() << "no setup page line: " << page.value_or("") << "\n" << server.errorOutput();
      return false;
    }
    webPort_ = static_cast<unsigned short>(std::stoul(page->substr(prefix.size())));
    host_ = "127.0.0.1:" + std::to_string(webPort_);
    return true;
  }

  tcp::socket connect() {
    tcp::socket socket(io_);
    socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), webPort_));
    return socket;
  }

  // A WebSocket client of /client; `origin` empty sends none, as a program does.
  std::unique_ptr<websocket::stream<tcp::socket>> openClient(const std::string& origin) {
    auto ws = std::make_unique<websocket::stream<tcp::socket>>(connect());
    ws->set_option(websocket::stream_base::decorator([origin](websocket::request_type& request) {
      if (!origin.empty()) request.set(beast::http::field::origin, origin);
    }));
    ws->handshake(host_, "/client");
    return ws;
  }

  static std::string readText(websocket::stream<tcp::socket>& ws) {
    beast::flat_buffer buffer;
    beast::error_code error;
    ws.read(buffer, error);
    return error ? "(closed: " + error.message() + ")" : beast::buffers_to_string(buffer.data());
  }

  // The code the server closes with, once it has.
  static int closeCode(websocket::stream<tcp::socket>& ws) {
    beast::flat_buffer buffer;
    beast::error_code error;
    while (!error) ws.read(buffer, error);
    return ws.reason().code;
  }

  unsigned port_ = 0;
  unsigned short webPort_ = 0;
  std::string host_;
  net::io_context io_;
};

// Pages of the server itself and of --web-origin may be the client, and
// programs that send no Origin; any other site's page is refused. A client
// that does not log in in time loses the seat to the next.
TEST_F(WebProgramTest, TrustedPagesMayBeTheClientAndMustLogInInTime) {
  ChildProcess server;
  ASSERT_TRUE(start(server, {"--login-timeout", "2", "--web-origin", "http://kiosk.example:3000"}));
  // (The refusal's answer is checked in the web server's own tests.)
  EXPECT_THROW(openClient("http://attacker.example"), beast::system_error);

  // A program without Origin takes the seat and never logs in; the kiosk's
  // page and the server's own page wait behind it, connected.
  auto idle = openClient("");
  idle->write(net::buffer(std::string("set_data_type(commands)")));
  auto kiosk = openClient("http://kiosk.example:3000");
  kiosk->write(net::buffer(std::string("login(s3cret)")));
  auto own = openClient("http://" + host_);
  EXPECT_EQ(readText(*idle), "error(No login in time, disconnected.);");
  EXPECT_EQ(closeCode(*idle), websocket::close_code::policy_error);
  EXPECT_EQ(readText(*kiosk), "<login status=\"successful\">");
  kiosk->close(websocket::close_code::normal);
  own->write(net::buffer(std::string("login(s3cret)")));
  EXPECT_EQ(readText(*own), "<login status=\"successful\">");
  own->close(websocket::close_code::normal);
  EXPECT_EQ(endProgram(server, environment()), 0) << server.errorOutput();

  // '*' lets every site in, and the program says so when it starts.
  ChildProcess open;
  ASSERT_TRUE(start(open, {"--web-origin", "*"}));
  EXPECT_TRUE(server.errorOutput().find("--web-origin") == std::string::npos);
  EXPECT_NE(open.errorOutput().find("tessary: --web-origin '*': pages of every web site may be a "
                                    "WebSocket client and try login codes\n"),
            std::string::npos)
      << open.errorOutput();
  auto anySite = openClient("http://attacker.example");
  anySite->write(net::buffer(std::string("login(s3cret)")));
  EXPECT_EQ(readText(*anySite), "<login status=\"successful\">");
  anySite->close(websocket::close_code::normal);
  EXPECT_EQ(endProgram(open, environment()), 0) << open.errorOutput();
}

}  // namespace
}  // namespace tessary
