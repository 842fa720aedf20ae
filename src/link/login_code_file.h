// The file that holds the shared login code: the code's bare bytes, without
// any line end. The tray dialog writes it (shell/code_file.h); the "login"
// command reads it through this class.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessary {

class LoginCodeFile {
 public:
  static constexpr std::string_view kFileName = "Quon_System.dat";
  // A code longer than any command text can never match; reading stops here.
  static constexpr std::size_t kMaxCodeBytes = 4096;

  // `fallbackPath`, when given, is read instead while `path` does not exist.
  // Paths are UTF-8.
  explicit LoginCodeFile(std::string path, std::string fallbackPath = {})
      : path_(std::move(path)), fallbackPath_(std::move(fallbackPath)) {}

  // The file in the user's configuration folder: $XDG_CONFIG_HOME when it
  // holds an absolute path, otherwise $HOME/.config (on Windows the program
  // passes %APPDATA% instead). Empty when neither is known, and then the
  // file cannot be opened.
  static std::string defaultPath();

  const std::string& path() const { return path_; }

  enum class ReadResult { kRead, kCannotOpen, kTooLong };
  // The stored code up to its first NUL byte, like a text read from it.
  ReadResult read(std::string& code) const;

 private:
  static ReadResult readFile(const std::string& path, std::string& code);

  std::string path_;
  std::string fallbackPath_;
};

}  // namespace tessary
