#include "shell/command_line.h"

#include <charconv>
#include <string>
#include <optional>

namespace tessary {
namespace {

std::optional<std::uint16_t> parsePort(std::string_view text) {
  unsigned value = 0;
  if (text.empty()) return std::nullopt;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > 65535) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

std::optional<std::uint32_t> parseSeconds(std::string_view text) {
  std::uint32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      value > kMaxLoginTimeoutSeconds) {
    return std::nullopt;
  }
  return value;
}

bool takesValue(std::string_view name) {
  return name == "--port" || name == "--web-port" || name == "--listen" || name == "--code-file" ||
         name == "--camera" || name == "--web-origin" || name == "--login-timeout" ||
         name == "--zones" || name == "--osc" || name == "--mqtt" || name == "--mqtt-off-delay";
}

CommandLineResult failure(std::string message) {
  CommandLineResult result;
  result.ok = false;
  result.error = std::move(message);
  return result;
}

}  // namespace

std::optional<Ipv4Address> parseListenAddress(std::string_view text) {
  if (text == "localhost") return kLoopbackAddress;
  std::uint32_t address = 0;
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at == end || *at != '.') return std::nullopt;
      ++at;
    }
    // One to three digits each; no sign, no blanks, no leading zeros that
    // some readers take for octal.
    unsigned value = 0;
    auto [next, error] = std::from_chars(at, end, value);
    if (error != std::errc() || next == at || next - at > 3 || value > 255 ||
        (*at == '0' && next - at > 1)) {
      return std::nullopt;
    }
    address = address << 8 | value;
    at = next;
  }
  if (at != end) return std::nullopt;
  return Ipv4Address{address};
}

std::string addressText(Ipv4Address address) {
  return std::to_string(address.value >> 24) + "." + std::to_string(address.value >> 16 & 0xff) + "." +
         std::to_string(address.value >> 8 & 0xff) + "." + std::to_string(address.value & 0xff);
}

bool isWebOrigin(std::string_view origin) {
  if (origin == "*" || origin == "null") return true;
  const std::size_t schemeEnd = origin.find("://");
  if (schemeEnd == 0 || schemeEnd == std::string_view::npos) return false;
  for (char c : origin.substr(0, schemeEnd)) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  }
  std::string_view host = origin.substr(schemeEnd + 3);
  if (host.ends_with('/')) host.remove_suffix(1);
  // A host, perhaps [an IPv6 address], and a port; no path, query, user or blanks.
  return !host.empty() && host.find_first_of("/?#@ \t\r\n") == std::string_view::npos;
}

std::optional<OscTarget> parseOscTarget(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  auto port = parsePort(text.substr(colon + 1));
  if (!port || *port == 0) return std::nullopt;
  return OscTarget{std::string(text.substr(0, colon)), *port};
}

std::optional<MqttTarget> parseMqttUrl(std::string_view text) {
  constexpr std::string_view kScheme = "mqtt://";
  if (!text.starts_with(kScheme)) return std::nullopt;
  text.remove_prefix(kScheme.size());
  MqttTarget target;
  const std::size_t slash = text.find('/');
  if (slash != std::string_view::npos) {
    const std::string_view prefix = text.substr(slash + 1);
    // An empty prefix, an empty level or a wildcard makes no topic to publish.
    if (prefix.empty() || prefix.find_first_of("+#") != std::string_view::npos ||
        prefix.starts_with('/') || prefix.ends_with('/') || prefix.find("//") != std::string_view::npos) {
      return std::nullopt;
    }
    target.prefix = std::string(prefix);
    text = text.substr(0, slash);
  }
  if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    auto port = parsePort(text.substr(colon + 1));
    if (!port || *port == 0) return std::nullopt;
    target.port = *port;
    text = text.substr(0, colon);
  }
  if (text.empty()) return std::nullopt;
  target.host = std::string(text);
  return target;
}

bool isKnownCameraSource(std::string_view source) {
  if (source == kPlatformCameraSource || source == "demo" || source == "auto") return true;
#ifndef _WIN32
  // Any other text names a camera, a file or a stream; the camera backend
  // checks it and says what it knows.
  return !source.empty();
#endif
  constexpr std::string_view kRawPrefix = "raw:";
  return source.size() > kRawPrefix.size() && source.substr(0, kRawPrefix.size()) == kRawPrefix;
}

CommandLineResult parseCommandLine(std::span<const std::string_view> args) {
  CommandLineResult result;
  ShellOptions& options = result.options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::string_view name = arg;
    std::optional<std::string_view> value;
    if (auto equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }

    if (takesValue(name)) {
      if (!value) {
        if (i + 1 >= args.size()) return failure("option '" + std::string(name) + "' needs a value");
        value = args[++i];
      }
      if (name == "--port") {
        auto port = parsePort(*value);
        if (!port) {
          return failure("invalid port '" + std::string(*value) + "': give a number from 0 to 65535");
        }
        options.port = *port;
      } else if (name == "--web-port") {
        if (*value == "off") {
          options.webPort.reset();
          continue;
        }
        auto port = parsePort(*value);
        if (!port) {
          return failure("invalid web port '" + std::string(*value) +
                         "': give a number from 0 to 65535, or off");
        }
        options.webPort = *port;
      } else if (name == "--listen") {
        auto address = parseListenAddress(*value);
        if (!address) {
          return failure("invalid listen address '" + std::string(*value) +
                         "': give an IPv4 address such as 127.0.0.1, or 0.0.0.0 for every address");
        }
        options.listenAddress = *address;
      } else if (name == "--web-origin") {
        if (!isWebOrigin(*value)) {
          return failure("invalid --web-origin '" + std::string(*value) +
                         "': give one as a browser sends it, such as http://localhost:3000, or '*'");
        }
        options.webOrigins.emplace_back(*value);
      } else if (name == "--login-timeout") {
        auto seconds = parseSeconds(*value);
        if (!seconds) {
          return failure("invalid login timeout '" + std::string(*value) +
                         "': give whole seconds from 0 (no timeout) to " +
                         std::to_string(kMaxLoginTimeoutSeconds));
        }
        options.loginTimeoutSeconds = *seconds;
      } else if (name == "--zones") {
        if (value->empty()) return failure("option '--zones' needs a path");
        options.zonesFile = std::string(*value);
      } else if (name == "--osc") {
        auto target = parseOscTarget(*value);
        if (!target) {
          return failure("invalid OSC receiver '" + std::string(*value) +
                         "': give HOST:PORT, such as 127.0.0.1:12000");
        }
        options.osc.push_back(*target);
      } else if (name == "--mqtt") {
        auto target = parseMqttUrl(*value);
        if (!target) {
          return failure("invalid MQTT broker '" + std::string(*value) +
                         "': give mqtt://HOST[:PORT][/PREFIX], such as mqtt://127.0.0.1:1883/tessary");
        }
        options.mqtt = *target;
      } else if (name == "--mqtt-off-delay") {
        double seconds = -1;
        auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), seconds);
        if (error != std::errc() || end != value->data() + value->size() || !(seconds >= 0) ||
            seconds > 86400) {
          return failure("invalid off delay '" + std::string(*value) +
                         "': give seconds from 0 to 86400, such as 2 or 0.5");
        }
        options.mqttOffDelaySeconds = seconds;
      } else if (name == "--code-file") {
        if (value->empty()) return failure("option '--code-file' needs a path");
        options.codeFile = std::string(*value);
      } else {
        if (!isKnownCameraSource(*value)) {
          return failure("unknown camera source '" + std::string(*value) + "': use " +
                         std::string(kPlatformCameraSource) + ", demo, auto or raw:PATH");
        }
        options.cameraSource = std::string(*value);
      }
      continue;
    }

    if (value) return failure("option '" + std::string(name) + "' takes no value");
    if (name == "--set-code") {
      options.setCode = true;
#ifdef _WIN32
    } else if (name == "--quit") {
      options.quit = true;
#endif
    } else if (name == "--headless") {
      options.headless = true;
    } else if (name == "--verbose") {
      options.verbose = true;
    } else if (name == "--mqtt-discovery") {
      options.mqttDiscovery = true;
    } else if (name == "--version") {
      options.showVersion = true;
    } else if (name == "--help" || name == "-h") {
      options.showHelp = true;
    } else if (name.starts_with("-")) {
      return failure("unknown option '" + std::string(name) + "'");
    } else {
      return failure("unexpected argument '" + std::string(name) + "'");
    }
  }
  if ((options.mqttDiscovery || options.mqttOffDelaySeconds != 2.0) && !options.mqtt) {
    return failure("options '--mqtt-off-delay' and '--mqtt-discovery' need '--mqtt'");
  }
  return result;
}

std::string usageText() {
#ifdef _WIN32
  const std::string codeFile = "%APPDATA%\\Quon_System.dat";
  const std::string camera = "dshow (default), demo, raw:PATH (raw 160x120 BGRX frames,\n"
                             "                    top row first) or auto (DirectShow when a camera\n"
                             "                    offers 160x120, the demo camera otherwise)\n";
#else
  const std::string codeFile = "$XDG_CONFIG_HOME/Quon_System.dat";
  const std::string camera =
      "gst (default: every camera GStreamer lists), a\n"
      "                    camera's name or a unique part of it, a video file\n"
      "                    (looped), rtsp://... or http://... (a stream),\n"
      "                    gst:PIPELINE (ending in a video source), auto (the\n"
      "                    first camera, else demo), demo, or raw:PATH (raw\n"
      "                    160x120 BGRX frames, top row first). Any size is\n"
      "                    scaled to 160x120; a lost camera is retried.\n";
#endif
  return "Usage: tessary [OPTION]...\n"
         "Turns a webcam into motion-sensitive zones for a client program that\n"
         "connects over TCP (see docs/protocol.md).\n"
         "\n"
         "Options:\n"
         "  --port N          TCP port to listen on (default 2152; 0 picks a free one)\n"
         "  --web-port N|off  port of the setup page and the WebSocket client\n"
         "                    (default 2153; 0 picks a free one; off: none), on the\n"
         "                    --listen address when it names one, else 127.0.0.1\n"
         "  --web-origin ORIGIN\n"
         "                    also let pages of ORIGIN (as a browser sends it, such\n"
         "                    as http://localhost:3000) be a WebSocket client; may be\n"
         "                    given more than once; '*' lets every web site in\n"
         "  --login-timeout SECONDS\n"
         "                    disconnect a client that has not logged in this long\n"
         "                    after being served (default 60; 0: never)\n"
         "  --listen ADDRESS  the local IPv4 address to listen on: 127.0.0.1 (or\n"
         "                    localhost) accepts clients of this machine only;\n"
         "                    default 0.0.0.0, every address\n"
         "  --code-file PATH  the login code file\n"
         "                    (default " + codeFile + ")\n"
         "  --set-code        read one line from standard input, store it as the\n"
         "                    login code and exit\n"
         "  --camera SOURCE   " + camera +
#ifdef _WIN32
         "  --quit            end the copy that runs (as Exit in its tray menu does)\n"
         "                    and wait until it has\n"
#endif
         "  --zones FILE      run FILE's statements at start-up as the client, logged\n"
         "                    in, holding the client seat while the program runs\n"
         "  --osc HOST:PORT   also send the client's events as OSC over UDP, e.g.\n"
         "                    /tessary/<zone>/hit (may be given more than once)\n"
#ifndef _WIN32
         "  --mqtt mqtt://HOST[:PORT][/PREFIX]\n"
         "                    also publish hits and motion amounts to an MQTT broker\n"
         "                    under PREFIX (default tessary; port 1883)\n"
         "  --mqtt-off-delay SECONDS\n"
         "                    seconds without a hit before a zone's motion is OFF\n"
         "                    (default 2)\n"
         "  --mqtt-discovery  publish Home Assistant discovery configs per zone\n"
#endif
         "  --headless        no tray icon and no windows\n"
         "  --verbose         trace every statement received and every message sent\n"
         "                    on standard error\n"
         "  --version         print the version and exit\n"
         "  --help            print this help and exit\n"
         "\n"
         "Once listening, the first line on standard output reads\n"
         "\"Tessary VERSION listening on port PORT\"; the next one gives the setup\n"
         "page's address, http://127.0.0.1:PORT/.\n";
}

}  // namespace tessary
