#include "link/login_code_file.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/utf8_path.h"

namespace tessary {

std::string LoginCodeFile::defaultPath() {
  std::filesystem::path folder;
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  if (configHome != nullptr && std::filesystem::path(configHome).is_absolute()) {
    folder = configHome;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    folder = std::filesystem::path(home) / ".config";
  } else {
    return {};
  }
  return (folder / kFileName).string();
}

LoginCodeFile::ReadResult LoginCodeFile::read(std::string& code) const {
  if (!fallbackPath_.empty() && !path_.empty()) {
    std::error_code error;
    // Only a file that is certainly absent hands over to the fallback.
    if (!std::filesystem::exists(pathFromUtf8(path_), error) && !error) {
      return readFile(fallbackPath_, code);
    }
  }
  return readFile(path_, code);
}

LoginCodeFile::ReadResult LoginCodeFile::readFile(const std::string& path, std::string& code) {
  code.clear();
  if (path.empty()) return ReadResult::kCannotOpen;
  std::ifstream file(pathFromUtf8(path), std::ios::binary);
  if (!file) return ReadResult::kCannotOpen;
  // One byte more than the limit tells an over-long code apart.
  std::string content(kMaxCodeBytes + 1, '\0');
  file.read(content.data(), static_cast<std::streamsize>(content.size()));
  content.resize(static_cast<std::size_t>(file.gcount()));
  if (file.bad()) return ReadResult::kCannotOpen;
  if (content.size() > kMaxCodeBytes) return ReadResult::kTooLong;
  code = content.substr(0, content.find('\0'));
  return ReadResult::kRead;
}

}  // namespace tessary
