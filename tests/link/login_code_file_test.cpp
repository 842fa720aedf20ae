#include "link/login_code_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace tessary {
namespace {

// Sets or clears one environment variable for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(LoginCodeFileTest, LivesInTheUsersConfigurationFolder) {
  {
    ScopedEnvironment config("XDG_CONFIG_HOME", "/cfg/home");
    EXPECT_EQ(LoginCodeFile::defaultPath(), "/cfg/home/Quon_System.dat");
  }
  ScopedEnvironment home("HOME", "/home/user");
  {
    // Unset, empty and relative values all fall back to ~/.config.
    ScopedEnvironment config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(LoginCodeFile::defaultPath(), "/home/user/.config/Quon_System.dat");
  }
  {
    ScopedEnvironment config("XDG_CONFIG_HOME", "");
    EXPECT_EQ(LoginCodeFile::defaultPath(), "/home/user/.config/Quon_System.dat");
  }
  {
    ScopedEnvironment config("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_EQ(LoginCodeFile::defaultPath(), "/home/user/.config/Quon_System.dat");
  }
  ScopedEnvironment config("XDG_CONFIG_HOME", nullptr);
  ScopedEnvironment noHome("HOME", nullptr);
  EXPECT_EQ(LoginCodeFile::defaultPath(), "");
}

TEST(LoginCodeFileTest, ReadsBareBytesAndRefusesWhatCannotMatch) {
  auto folder = std::filesystem::temp_directory_path() / "tessary-code-file-test";
  std::filesystem::create_directories(folder);
  auto path = (folder / "Quon_System.dat").string();
  std::string code;

  EXPECT_EQ(LoginCodeFile("").read(code), LoginCodeFile::ReadResult::kCannotOpen);
  std::filesystem::remove(path);
  EXPECT_EQ(LoginCodeFile(path).read(code), LoginCodeFile::ReadResult::kCannotOpen);

  std::ofstream(path, std::ios::binary) << "code \r\n";
  EXPECT_EQ(LoginCodeFile(path).read(code), LoginCodeFile::ReadResult::kRead);
  EXPECT_EQ(code, "code \r\n");  // nothing is trimmed

  std::ofstream(path, std::ios::binary | std::ios::trunc)
      << std::string(LoginCodeFile::kMaxCodeBytes + 1, 'x');
  EXPECT_EQ(LoginCodeFile(path).read(code), LoginCodeFile::ReadResult::kTooLong);
  EXPECT_TRUE(code.empty());
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tessary
