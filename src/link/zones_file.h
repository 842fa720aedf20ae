// The zones file: the client of an installation that has no program of its
// own. It holds statements of the command language, one or more a line,
// separated by ';' as on the wire; a line starting with '#' is a comment.
// At start-up its statements run as a client that is logged in without a
// code and keeps the one client seat for as long as the program runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/message_sink.h"

namespace tessary {

class CommandInterpreter;

struct ZonesFileLine {
  std::int32_t number = 0;  // from 1
  std::string text;         // without its line end
};

// The file's statement lines (comments and blank lines left out), or nothing
// with `error` saying why when it cannot be read.
std::optional<std::vector<ZonesFileLine>> readZonesFile(const std::string& path, std::string& error);

// The file as the client: what the client would be sent arrives here. While
// the file's lines run, an error message is reported with its line number;
// afterwards the messages are dropped (the event outputs carry them on).
class ZonesFileClient final : public MessageSink {
 public:
  using Report = std::function<void(std::string_view)>;
  // `path` names the file in reports.
  ZonesFileClient(std::string path, Report report) : path_(std::move(path)), report_(std::move(report)) {}

  // Main thread, once: logs `interpreter` in and runs every line.
  void run(CommandInterpreter& interpreter, const std::vector<ZonesFileLine>& lines);

  bool send(std::string_view text) override;

 private:
  std::string path_;
  Report report_;
  // The line that runs, 0 when none; only the main thread runs lines, and a
  // message of another thread (a hit) is never an error.
  std::atomic<std::int32_t> runningLine_{0};
};

}  // namespace tessary
