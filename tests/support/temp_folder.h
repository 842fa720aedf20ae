// Test support on every platform: temporary folders and whole-file reads
// and writes.
#pragma once

#include <string>
#include <string_view>

namespace tessary::testing {

// A fresh folder in the system's temporary folder, removed with everything
// in it at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
bool writeFile(const std::string& path, std::string_view bytes);

}  // namespace tessary::testing
