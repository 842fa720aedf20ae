#include "shell/code_file.h"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace tessary {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool writeCodeFile(const std::string& path, std::string_view code, bool createParent) {
  if (createParent) {
    std::error_code ignored;
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
  }
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  bool written = code.empty() || std::fwrite(code.data(), 1, code.size(), file.get()) == code.size();
  // A full disk shows up only at the flush; report it rather than a short file.
  bool closed = std::fclose(file.release()) == 0;
  // The code is a shared secret: other users of the machine must not read it.
  std::error_code ignored;
  if (std::filesystem::is_regular_file(path, ignored)) {
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::replace, ignored);
  }
  return written && closed;
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
