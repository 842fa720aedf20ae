#include "link/command_syntax.h"

#include <charconv>
#include <limits>

namespace tessary {
namespace {

bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view skipCSpace(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && isCSpace(text[start])) ++start;
  return text.substr(start);
}

// The text after `open` up to, not including, the statement's last character.
std::string_view argumentsAfter(std::string_view statement, std::size_t open) {
  std::size_t begin = open + 1;
  std::size_t end = statement.size() - 1;  // statement holds at least the "("
  // Views stay inside the statement even when empty: a null view must never
  // reach the C string functions.
  return begin < end ? statement.substr(begin, end - begin) : statement.substr(0, 0);
}

}  // namespace

ParsedStatement parseStatement(std::string_view statement) {
  ParsedStatement parsed;
  std::size_t first = statement.find_first_of(".(");
  if (first == std::string_view::npos) return parsed;
  parsed.name = statement.substr(0, first);
  if (statement[first] == '(') {
    parsed.form = StatementForm::kGlobal;
    parsed.arguments = argumentsAfter(statement, first);
    return parsed;
  }
  parsed.form = StatementForm::kMethod;
  std::size_t open = statement.find('(', first + 1);
  if (open == std::string_view::npos) return parsed;
  parsed.hasMethod = true;
  parsed.method = statement.substr(first + 1, open - first - 1);
  parsed.arguments = argumentsAfter(statement, open);
  return parsed;
}

std::int32_t parameterCount(std::string_view arguments) {
  if (arguments.empty()) return 0;
  std::int32_t count = 1;
  for (char c : arguments) {
    if (c == ',') ++count;
  }
  return count;
}

std::string_view parameterAt(std::int32_t n, std::string_view arguments) {
  const std::string_view none = arguments.substr(0, 0);
  if (n < 1) return none;
  for (std::int32_t skipped = 1; skipped < n; ++skipped) {
    std::size_t comma = arguments.find(',');
    if (comma == std::string_view::npos) return none;
    arguments.remove_prefix(comma + 1);
  }
  std::size_t start = arguments.find_first_not_of(' ');
  if (start == std::string_view::npos) return none;
  arguments.remove_prefix(start);
  return arguments.substr(0, arguments.find(','));
}

std::int32_t parseInteger(std::string_view text) {
  text = skipCSpace(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > kLimit) magnitude = kLimit;  // saturate; keeps the sum small
  }
  std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) {
    value = std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

double parseReal(std::string_view text) {
  text = skipCSpace(text);
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text[0] == '-') return 0.0;  // "+-1" is no number
  }
  double value = 0.0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: keep the sign, like strtod does.
    bool negative = !text.empty() && text[0] == '-';
    std::string_view digits = negative ? text.substr(1) : text;
    std::size_t exponent = digits.find_first_of("eE");
    bool tiny = exponent != std::string_view::npos && exponent + 1 < digits.size() &&
                digits[exponent + 1] == '-';
    double magnitude = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    return negative ? -magnitude : magnitude;
  }
  if (error != std::errc()) return 0.0;
  (void)end;
  return value;
}

}  // namespace tessary
