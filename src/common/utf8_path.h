// Paths are kept as UTF-8 text throughout; this makes a filesystem path of
// one that means the same file on every platform (on Windows a plain
// std::string path would be read in the ANSI code page instead).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tessary {

inline std::filesystem::path pathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace tessary
