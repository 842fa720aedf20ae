#include "link/message_text.h"

#include <charconv>
#include <cstring>

namespace tessary {

std::size_t composeMessage(std::span<char> dest, std::initializer_list<MessagePiece> pieces) {
  if (dest.empty()) return 0;
  const std::size_t capacity = dest.size() - 1;  // room for the NUL

  // Literals are reserved up front so that values, and only values, are cut.
  std::size_t literalsLeft = 0;
  for (const MessagePiece& piece : pieces) {
    if (!piece.isValue) literalsLeft += piece.text.size();
  }

  std::size_t used = 0;
  for (const MessagePiece& piece : pieces) {
    std::string_view text = piece.text;
    if (const void* nul = std::memchr(text.data(), '\0', text.size())) {
      text = text.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()));
    }
    std::size_t room = capacity - used;
    if (piece.isValue) {
      room = room > literalsLeft ? room - literalsLeft : 0;
    } else {
      literalsLeft -= piece.text.size();
    }
    std::size_t length = text.size() < room ? text.size() : room;
    std::memcpy(dest.data() + used, text.data(), length);
    used += length;
  }
  dest[used] = '\0';
  return used;
}

DecimalText::DecimalText(std::int64_t number) {
  auto result = std::to_chars(digits_, digits_ + sizeof(digits_) - 1, number);
  length_ = static_cast<std::size_t>(result.ptr - digits_);
}

}  // namespace tessary
