// The program's command line: options, their defaults and their checks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/socket_api.h"

namespace tessary {

inline constexpr std::uint16_t kDefaultPort = 2152;
inline constexpr std::uint16_t kDefaultWebPort = 2153;
inline constexpr std::uint32_t kDefaultLoginTimeoutSeconds = 60;
inline constexpr std::uint32_t kMaxLoginTimeoutSeconds = 24 * 60 * 60;

// The platform's own camera backend, the default camera source.
#ifdef _WIN32
inline constexpr std::string_view kPlatformCameraSource = "dshow";
#else
inline constexpr std::string_view kPlatformCameraSource = "gst";
#endif

// A receiver of --osc HOST:PORT.
struct OscTarget {
  std::string host;
  std::uint16_t port = 0;
};

// The broker of --mqtt mqtt://HOST[:PORT][/PREFIX].
struct MqttTarget {
  std::string host;
  std::uint16_t port = 1883;
  std::string prefix = "tessary";
};

struct ShellOptions {
  std::uint16_t port = kDefaultPort;  // 0 lets the system pick a free port
  Ipv4Address listenAddress = kEveryAddress;
  // The setup page's port; empty: no web server ("off"). It listens on the
  // --listen address when that names one, on 127.0.0.1 otherwise.
  std::optional<std::uint16_t> webPort = kDefaultWebPort;
  // Origins, besides the server's own pages, whose pages may be a WebSocket
  // client, in the form a browser sends them; "*" admits every page.
  std::vector<std::string> webOrigins;
  // A client that has not logged in this long after taking the seat loses
  // it; 0: never.
  std::uint32_t loginTimeoutSeconds = kDefaultLoginTimeoutSeconds;
  std::string codeFile;               // empty: the default code file
  bool setCode = false;               // read one line from stdin into the code file, then exit
  bool quit = false;                  // ask the running copy to end, then exit (Windows)
  std::string cameraSource{kPlatformCameraSource};  // see --help; checked when the camera opens
  bool headless = false;
  bool verbose = false;
  bool showVersion = false;
  bool showHelp = false;
  // An installation without a client program: the zones file, and where the
  // client's events also go.
  std::string zonesFile;  // empty: none
  std::vector<OscTarget> osc;
  std::optional<MqttTarget> mqtt;
  double mqttOffDelaySeconds = 2.0;
  bool mqttDiscovery = false;
};

struct CommandLineResult {
  bool ok = true;
  ShellOptions options;
  std::string error;  // one line, without the program name, when !ok
};

// `args` excludes the program name. Accepts "--name value" and "--name=value".
CommandLineResult parseCommandLine(std::span<const std::string_view> args);

// A dotted IPv4 address ("127.0.0.1"), or "localhost" for the loopback one;
// nothing for any other text.
std::optional<Ipv4Address> parseListenAddress(std::string_view text);
// The dotted form, "127.0.0.1".
std::string addressText(Ipv4Address address);

// True for a --web-origin value: "*", "null" (pages of local files and
// sandboxed frames) or SCHEME://HOST[:PORT] without a path.
bool isWebOrigin(std::string_view origin);
// "HOST:PORT" with a port from 1 to 65535.
std::optional<OscTarget> parseOscTarget(std::string_view text);
// "mqtt://HOST[:PORT][/PREFIX]"; the prefix is one or more topic levels
// without wildcards.
std::optional<MqttTarget> parseMqttUrl(std::string_view text);

// True for the camera sources the program knows.
bool isKnownCameraSource(std::string_view source);

// The text of --help.
std::string usageText();

// Exit code for a command line that cannot be used.
inline constexpr int kExitUsage = 2;

}  // namespace tessary
