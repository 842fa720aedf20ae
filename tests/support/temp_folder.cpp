#include "support/temp_folder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace tessary::testing {

TempFolder::TempFolder() {
  namespace fs = std::filesystem;
  std::random_device random;
  for (;;) {
    fs::path candidate = fs::temp_directory_path() / ("tessary_test_" + std::to_string(random()));
    // create_directory is false when the folder exists: then try another name.
    if (std::error_code error; fs::create_directory(candidate, error)) {
      path_ = candidate.generic_string();
      return;
    } else if (error) {
      path_ = candidate.generic_string();
      return;
    }
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace tessary::testing
