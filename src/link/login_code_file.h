// The file that holds the shared login code: the code's bare bytes, without
// any line end. The tray dialog writes it (shell/code_file.h); the "login"
// command reads it through this class.
#pragma once

#include <cstddef>
#include <string>

namespace tessary {

class LoginCodeFile {
 public:
  static constexpr std::string_view kFileName = "Quon_System.dat";
  // A code longer than any command text can never match; reading stops here.
  static constexpr std::size_t kMaxCodeBytes = 4096;

  explicit LoginCodeFile(std::string path) : path_(std::move(path)) {}

  // The file in the user's configuration folder: $XDG_CONFIG_HOME when it
  // holds an absolute path, otherwise $HOME/.config. Empty when neither is
  // known, and then the file cannot be opened.
  static std::string defaultPath();

  const std::string& path() const { return path_; }

  enum class ReadResult { kRead, kCannotOpen, kTooLong };
  // The stored code up to its first NUL byte, like a text read from it.
  ReadResult read(std::string& code) const;

 private:
  std::string path_;
};

}  // namespace tessary
