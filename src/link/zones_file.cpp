#include "link/zones_file.h"

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <fstream>

#include "link/command_interpreter.h"

namespace tessary {
namespace {

// The text of an error message in either form, or nothing for any other message.
std::optional<std::string_view> errorContent(std::string_view message) {
  constexpr std::string_view kXmlStart = "<error content=\"", kXmlEnd = "\">";
  constexpr std::string_view kScriptStart = "error(", kScriptEnd = ");";
  if (message.starts_with(kXmlStart) && message.ends_with(kXmlEnd)) {
    return message.substr(kXmlStart.size(), message.size() - kXmlStart.size() - kXmlEnd.size());
  }
  if (message.starts_with(kScriptStart) && message.ends_with(kScriptEnd)) {
    return message.substr(kScriptStart.size(), message.size() - kScriptStart.size() - kScriptEnd.size());
  }
  return std::nullopt;
}

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::optional<std::vector<ZonesFileLine>> readZonesFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the zones file " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  std::vector<ZonesFileLine> lines;
  std::string text;
  for (std::int32_t number = 1; std::getline(in, text); ++number) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos || text[first] == '#') continue;
    lines.push_back(ZonesFileLine{number, text});
  }
  if (in.bad()) {
    error = "cannot read the zones file " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return lines;
}

void ZonesFileClient::run(CommandInterpreter& interpreter, const std::vector<ZonesFileLine>& lines) {
  interpreter.logInWithoutCode();
  for (const ZonesFileLine& line : lines) {
    runningLine_ = line.number;
    // Cut at ';' as on the wire; the blanks a person puts around statements
    // in a file are no part of them.
    std::string_view rest = line.text;
    while (!rest.empty()) {
      const std::size_t end = std::min(rest.find(';'), rest.size());
      const std::string_view statement = trimmed(rest.substr(0, end));
      rest.remove_prefix(std::min(end + 1, rest.size()));
      if (statement.empty()) continue;
      if (!interpreter.executeKnownStatement(statement)) {
        report_(path_ + ":" + std::to_string(line.number) + ": unknown command '" +
                std::string(statement) + "'");
      }
    }
  }
  runningLine_ = 0;
}

bool ZonesFileClient::send(std::string_view text) {
  const std::int32_t line = runningLine_.load(std::memory_order_relaxed);
  if (line == 0) return true;
  if (std::optional<std::string_view> content = errorContent(text)) {
    report_(path_ + ":" + std::to_string(line) + ": " + std::string(*content));
  }
  return true;
}

}  // namespace tessary
