#include "shell/verbose_trace.h"

#include <chrono>
#include <cstdio>

namespace tessary {
namespace {

void appendEscaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          out += "\\x";
          out += kHex[byte >> 4];
          out += kHex[byte & 0xf];
        } else {
          out += c;
        }
    }
  }
}

// One stdio call per batch of lines keeps lines from two threads whole.
void writeAll(const std::string& lines) {
  std::fwrite(lines.data(), 1, lines.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

std::string formatTraceLines(TraceDirection direction, std::string_view block,
                             std::string_view timeStamp) {
  std::string_view arrow = direction == TraceDirection::kReceived ? " <- "
                           : direction == TraceDirection::kSent   ? " -> "
                                                                  : " x- ";
  std::string lines;
  // A received block may hold several texts; the NUL after the last one is
  // not part of the block.
  while (!block.empty() && block.back() == '\0') block.remove_suffix(1);
  std::size_t start = 0;
  do {
    std::size_t end = block.find('\0', start);
    if (end == std::string_view::npos) end = block.size();
    lines.append(timeStamp);
    lines.append(arrow);
    appendEscaped(lines, block.substr(start, end - start));
    lines += '\n';
    start = end + 1;
  } while (start < block.size());
  return lines;
}

std::string traceTimeStamp() {
  using namespace std::chrono;
  auto now = system_clock::now().time_since_epoch();
  auto sinceMidnight = duration_cast<milliseconds>(now % days(1));
  long long ms = sinceMidnight.count();
  char text[32];
  std::snprintf(text, sizeof(text), "%02lld:%02lld:%02lld.%03lld", ms / 3600000,
                ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
  return text;
}

void traceLifecycle(std::string_view event) {
  std::string line = traceTimeStamp();
  line += " -- ";
  line.append(event);
  line += '\n';
  writeAll(line);
}

void VerboseTrace::onText(TraceDirection direction, std::string_view text) {
  writeAll(formatTraceLines(direction, text, traceTimeStamp()));
}

}  // namespace tessary
