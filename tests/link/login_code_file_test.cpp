// Where the login code file lives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "link/login_code_file.h"

namespace tessary {
namespace {

// The default path for the given XDG_CONFIG_HOME and HOME (nullptr: unset).
std::string defaultPathWith(const char* config, const char* home) {
  for (auto [name, value] : {std::pair{"XDG_CONFIG_HOME", config}, std::pair{"HOME", home}}) {
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  return LoginCodeFile::defaultPath();
}

TEST(LoginCodeFileTest, LivesInTheUsersConfigurationFolder) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string oldConfig = config ? config : "", oldHome = home ? home : "";
  EXPECT_EQ(defaultPathWith("/cfg", "/home/u"), "/cfg/Quon_System.dat");
  // Unset, empty and relative values all fall back to ~/.config.
  for (const char* fallback : {static_cast<const char*>(nullptr), "", "relative/dir"}) {
    EXPECT_EQ(defaultPathWith(fallback, "/home/u"), "/home/u/.config/Quon_System.dat");
  }
  EXPECT_EQ(defaultPathWith(nullptr, nullptr), "");
  defaultPathWith(config ? oldConfig.c_str() : nullptr, home ? oldHome.c_str() : nullptr);
}

}  // namespace
}  // namespace tessary
