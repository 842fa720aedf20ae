// Builds one message from literal pieces and inserted values into a fixed
// buffer. When the message does not fit, the values are cut and the literal
// pieces kept, so a tag still ends in its ">" and a call in its ");".
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace tessary {

struct MessagePiece {
  std::string_view text;
  bool isValue = false;
};

inline MessagePiece literal(std::string_view text) { return MessagePiece{text, false}; }
inline MessagePiece value(std::string_view text) { return MessagePiece{text, true}; }

// Writes the pieces into `dest` (NUL-terminated) and returns the length.
// Each value gets the room left after every literal still to come; a value
// stops at an embedded NUL.
std::size_t composeMessage(std::span<char> dest, std::initializer_list<MessagePiece> pieces);

// Decimal text of `number` in a small buffer.
class DecimalText {
 public:
  explicit DecimalText(std::int64_t number);
  std::string_view view() const { return std::string_view(digits_, length_); }

 private:
  char digits_[21] = {};
  std::size_t length_ = 0;
};

}  // namespace tessary
