#include "shell/code_file.h"

#include <filesystem>

#include "common/private_file.h"
#include "common/utf8_path.h"

namespace tessary {

bool writeCodeFile(const std::string& path, std::string_view code, bool createParent) {
  if (createParent) {
    std::error_code ignored;
    std::filesystem::path parent = pathFromUtf8(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
  }
  return writePrivateFile(path, code);
}

std::string codeFileErrorText(std::string_view path) {
  std::string text = "Cannot open ";
  text.append(path);
  text.append(" for writing.");
  return text;
}

std::optional<std::string> readCodeLine(std::istream& input) {
  std::string line;
  if (!std::getline(input, line)) {
    // getline fails only when nothing at all was read.
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace tessary
