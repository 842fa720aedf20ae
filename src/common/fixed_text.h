// NUL-terminated text in a buffer whose size the protocol fixes.
//
// Every write is bounded: a value that does not fit is cut so that the last
// byte always stays a NUL.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

namespace tessary {

// Copies as much of `source` as fits into `dest`, NUL-terminates it, and
// returns the number of bytes copied (without the NUL). Stops at an embedded
// NUL like the C string functions would.
inline std::size_t copyText(std::span<char> dest, std::string_view source) {
  if (dest.empty()) return 0;
  // An empty view may hold a null pointer, which memchr and memcpy must not see.
  if (source.empty()) {
    dest[0] = '\0';
    return 0;
  }
  std::size_t length = source.size();
  if (const void* nul = std::memchr(source.data(), '\0', length)) {
    length = static_cast<std::size_t>(static_cast<const char*>(nul) - source.data());
  }
  if (length > dest.size() - 1) length = dest.size() - 1;
  std::memcpy(dest.data(), source.data(), length);
  dest[length] = '\0';
  return length;
}

// Appends as much of `source` as fits after the text already in `dest`.
inline std::size_t appendText(std::span<char> dest, std::string_view source) {
  if (dest.empty()) return 0;
  std::size_t used = strnlen(dest.data(), dest.size() - 1);
  return copyText(dest.subspan(used), source);
}

// printf into `dest`, cut to fit; returns the length written.
inline std::size_t formatText(std::span<char> dest, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
inline std::size_t formatText(std::span<char> dest, const char* format, ...) {
  if (dest.empty()) return 0;
  va_list args;
  va_start(args, format);
  int wanted = std::vsnprintf(dest.data(), dest.size(), format, args);
  va_end(args);
  if (wanted < 0) {
    dest[0] = '\0';
    return 0;
  }
  std::size_t length = static_cast<std::size_t>(wanted);
  return length < dest.size() ? length : dest.size() - 1;
}

template <std::size_t Capacity>
class FixedText {
  static_assert(Capacity > 0);

 public:
  static constexpr std::size_t kCapacity = Capacity;  // bytes, NUL included
  static constexpr std::size_t kMaxLength = Capacity - 1;

  constexpr FixedText() = default;
  explicit FixedText(std::string_view text) { assign(text); }

  // Returns false when `text` had to be cut.
  bool assign(std::string_view text) {
    std::size_t copied = copyText(data_, text);
    return copied == text.size();
  }
  bool append(std::string_view text) {
    std::size_t before = size();
    return before + appendText(data_, text) == before + text.size();
  }
  void clear() { data_[0] = '\0'; }

  const char* c_str() const { return data_; }
  std::string_view view() const { return std::string_view(data_, size()); }
  std::size_t size() const { return strnlen(data_, kMaxLength); }
  bool empty() const { return data_[0] == '\0'; }
  std::span<char, Capacity> buffer() { return data_; }

  friend bool operator==(const FixedText& a, std::string_view b) { return a.view() == b; }

 private:
  char data_[Capacity] = {};
};

}  // namespace tessary
