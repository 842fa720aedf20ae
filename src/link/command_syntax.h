// The lexical rules of the command language: how a statement names its
// command, and how the argument text yields parameters and numbers. (How a
// received block falls into texts and statements is the interpreter's.)
//
// Everything here works on views into the caller's buffer and never writes
// to it, so a text that a read cut short needs no terminator of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessary {

// Names and parameters are held in buffers of this size, NUL included.
inline constexpr std::size_t kNameCapacity = 128;

enum class StatementForm {
  kInvalid,  // neither "." nor "(": not a command at all
  kGlobal,   // keyword(arguments)
  kMethod,   // object.method(arguments)
};

struct ParsedStatement {
  StatementForm form = StatementForm::kInvalid;
  // The keyword of a global command, or the object of a method call.
  std::string_view name;
  // Method calls only: false when no "(" follows the ".".
  bool hasMethod = false;
  std::string_view method;
  // The text after the "(", less the statement's last character.
  std::string_view arguments;
};

ParsedStatement parseStatement(std::string_view statement);

// 0 for an empty argument text, otherwise 1 + the number of ",".
std::int32_t parameterCount(std::string_view arguments);

// Parameter `n`, counted from 1: leading " " skipped, everything else up to
// the next "," kept. Empty when there is no such parameter.
std::string_view parameterAt(std::int32_t n, std::string_view arguments);

// Decimal integer the way atoi reads it (leading white space, optional sign,
// digits up to the first non-digit, 0 for no number), but saturating at the
// 32-bit limits instead of overflowing.
std::int32_t parseInteger(std::string_view text);

// Decimal floating-point number the way atof reads it, independent of the
// process locale; 0 for no number.
double parseReal(std::string_view text);

}  // namespace tessary
