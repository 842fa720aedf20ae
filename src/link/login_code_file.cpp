#include "link/login_code_file.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

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
  code.clear();
  if (path_.empty()) return ReadResult::kCannotOpen;
  std::ifstream file(path_, std::ios::binary);
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
