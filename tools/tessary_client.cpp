// tessary-client: an example client for Tessary's command link.
//
// Connects, logs in with the shared code, sends each statement it is given
// (arguments, or lines typed on standard input) as one NUL-terminated text,
// and prints every message it receives with a time stamp.
//
//   tessary-client 'add(door,10,10,40,30)'
//   tessary-client --code s3cret --for 10 'set_data_type(commands)' 'add(door,10,10,40,30)'
//   tessary-client            # then type statements, one per line
//
// With statements as arguments it keeps printing (hits, motion) until Ctrl-C
// or the end of --for; with statements typed, until the input ends.
//
// It is written against the plain socket API on purpose, so it can be read as
// a template for clients in any language.
#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Ctrl-C ends the client in order: what arrived is printed, the exit code is 0.
volatile sig_atomic_t interrupted = 0;
void onInterrupt(int) { interrupted = 1; }

struct Options {
  std::string host = "127.0.0.1";
  std::string port = "2152";
  std::optional<std::string> code;
  std::string codeFile;
  double forSeconds = -1;  // < 0: until the server closes or input ends
  std::vector<std::string> statements;
};

void usage(std::FILE* out) {
  std::fputs(
      "Usage: tessary-client [OPTION]... [STATEMENT]...\n"
      "Connects to Tessary, logs in and sends each STATEMENT as one text; without\n"
      "statements, sends each line typed on standard input. Prints every message\n"
      "received, time-stamped.\n"
      "\n"
      "  --host HOST        where Tessary runs (default 127.0.0.1)\n"
      "  --port N           its port (default 2152)\n"
      "  --code CODE        the login code (default: read from the code file)\n"
      "  --code-file PATH   the code file (default $XDG_CONFIG_HOME/Quon_System.dat)\n"
      "  --no-login         do not send login(...) first\n"
      "  --for SECONDS      end after this long (default: when the input ends; with\n"
      "                     statements as arguments it keeps printing until Ctrl-C)\n"
      "  --help\n",
      out);
}

std::string defaultCodeFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/Quon_System.dat";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/Quon_System.dat";
  return {};
}

std::string timeStamp() {
  using namespace std::chrono;
  long long ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch() % days(1)).count();
  char text[32];
  std::snprintf(text, sizeof(text), "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                ms / 1000 % 60, ms % 1000);
  return text;
}

// Messages may hold line feeds ("whoareyou"); show them escaped so that one
// message is one line.
void printMessage(std::string_view message) {
  std::string line = timeStamp() + "  ";
  for (char c : message) {
    if (c == '\n') {
      line += "\\n";
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02x", static_cast<unsigned char>(c));
      line += hex;
    } else {
      line += c;
    }
  }
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int connectTo(const std::string& host, const std::string& port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int error = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); error != 0) {
    std::fprintf(stderr, "tessary-client: %s: %s\n", host.c_str(), gai_strerror(error));
    return -1;
  }
  int fd = -1;
  for (addrinfo* at = found; at != nullptr && fd < 0; at = at->ai_next) {
    fd = socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
    if (fd >= 0 && connect(fd, at->ai_addr, at->ai_addrlen) != 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  if (fd < 0) {
    std::fprintf(stderr, "tessary-client: cannot connect to %s port %s: %s\n", host.c_str(),
                 port.c_str(), std::strerror(errno));
  }
  return fd;
}

// Sends the statement and the NUL that ends a text.
bool sendText(int fd, std::string_view text) {
  std::string wire(text);
  wire += '\0';
  std::size_t sent = 0;
  while (sent < wire.size()) {
    ssize_t n = send(fd, wire.data() + sent, wire.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Prints the complete texts in `pending` and keeps an unfinished tail.
void printTexts(std::string& pending) {
  std::size_t start = 0;
  for (std::size_t nul; (nul = pending.find('\0', start)) != std::string::npos; start = nul + 1) {
    printMessage(std::string_view(pending).substr(start, nul - start));
  }
  pending.erase(0, start);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool login = true;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    auto value = [&](std::string_view name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "tessary-client: option '%.*s' needs a value\n",
                     static_cast<int>(name.size()), name.data());
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--help") {
      usage(stdout);
      return 0;
    } else if (arg == "--host") {
      options.host = value(arg);
    } else if (arg == "--port") {
      options.port = value(arg);
    } else if (arg == "--code") {
      options.code = value(arg);
    } else if (arg == "--code-file") {
      options.codeFile = value(arg);
    } else if (arg == "--no-login") {
      login = false;
    } else if (arg == "--for") {
      char* end = nullptr;
      const char* text = value(arg);
      options.forSeconds = std::strtod(text, &end);
      if (end == text || *end != '\0' || options.forSeconds < 0) {
        std::fprintf(stderr, "tessary-client: invalid duration '%s'\n", text);
        return 2;
      }
    } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
      std::fprintf(stderr, "tessary-client: unknown option '%s'\n", argv[i]);
      usage(stderr);
      return 2;
    } else {
      options.statements.emplace_back(arg);
    }
  }

  if (login && !options.code) {
    std::string path = options.codeFile.empty() ? defaultCodeFile() : options.codeFile;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      std::fprintf(stderr,
                   "tessary-client: no code given and cannot read %s (set one with "
                   "'tessary --set-code' or pass --code)\n",
                   path.c_str());
      return 1;
    }
    options.code = std::string(std::istreambuf_iterator<char>(file), {});
  }

  int fd = connectTo(options.host, options.port);
  if (fd < 0) return 1;
  if (login && !sendText(fd, "login(" + *options.code + ")")) return 1;

  bool readInput = options.statements.empty();
  struct sigaction interrupt {};
  interrupt.sa_handler = onInterrupt;  // no SA_RESTART: poll() returns at once
  sigaction(SIGINT, &interrupt, nullptr);
  if (!readInput && options.forSeconds < 0) {
    std::fputs("tessary-client: printing messages until Ctrl-C (or give --for SECONDS)\n", stderr);
  }
  for (const std::string& statement : options.statements) {
    if (!sendText(fd, statement)) return 1;
  }

  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::milliseconds(
                                      static_cast<long long>(options.forSeconds * 1000));
  std::string pending;
  std::string typed;
  bool inputOpen = readInput;
  for (;;) {
    int timeout = -1;
    if (options.forSeconds >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      timeout = static_cast<int>(left.count());
    } else if (readInput && !inputOpen) {
      // Input ended: give the last answers a moment to arrive.
      timeout = 500;
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    int ready = poll(fds, inputOpen ? 2 : 1, timeout);
    if (interrupted) break;
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;

    if (fds[0].revents != 0) {
      char buffer[4096];
      ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
      if (n <= 0) {
        if (!pending.empty()) printMessage(pending);
        std::fprintf(stderr, "tessary-client: connection closed\n");
        break;
      }
      pending.append(buffer, static_cast<std::size_t>(n));
      printTexts(pending);
    }
    if (inputOpen && fds[1].revents != 0) {
      char buffer[1024];
      ssize_t n = read(STDIN_FILENO, buffer, sizeof(buffer));
      if (n <= 0) {
        inputOpen = false;
        continue;
      }
      typed.append(buffer, static_cast<std::size_t>(n));
      for (std::size_t end; (end = typed.find('\n')) != std::string::npos; typed.erase(0, end + 1)) {
        std::string line = typed.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && !sendText(fd, line)) return 1;
      }
    }
  }
  close(fd);
  return 0;
}
