// Bounded messages and the login code file, without a link.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "link/login_code_file.h"
#include "link/message_text.h"

namespace tessary {
namespace {

TEST(TextRulesTest, MessageValuesShareTheRoomLeftByTheLiterals) {
  char out[16];
  // Both values cut, the first first; literals whole.
  EXPECT_EQ(composeMessage(out, {literal("<a=\""), value("0123456789"), literal("\" b=\""),
                                 value("xyz"), literal("\">")}),
            15u);
  EXPECT_STREQ(out, "<a=\"0123\" b=\"\">");
  // A value stops at an embedded NUL.
  EXPECT_EQ(composeMessage(out, {value(std::string_view("ab\0cd", 5)), literal(";")}), 3u);
  EXPECT_STREQ(out, "ab;");
  // Literals longer than the buffer are cut too, never written past it.
  char small[4];
  EXPECT_EQ(composeMessage(small, {literal("<hit name=\""), value("x")}), 3u);
  EXPECT_STREQ(small, "<hi");
  EXPECT_EQ(composeMessage(std::span<char>(), {literal("x")}), 0u);
  EXPECT_EQ(DecimalText(-2147483648LL).view(), "-2147483648");
}

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

TEST(LoginCodeFileTest, ReadsBareBytesAndRefusesWhatCannotMatch) {
  const auto path = (std::filesystem::temp_directory_path() /
                     ("tessary-code-" + std::to_string(::getpid()) + ".dat"))
                        .string();
  std::string code;
  EXPECT_EQ(LoginCodeFile("").read(code), LoginCodeFile::ReadResult::kCannotOpen);
  std::ofstream(path, std::ios::binary) << "code \r\n";
  EXPECT_EQ(LoginCodeFile(path).read(code), LoginCodeFile::ReadResult::kRead);
  EXPECT_EQ(code, "code \r\n");  // nothing is trimmed
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      << std::string(LoginCodeFile::kMaxCodeBytes + 1, 'x');
  EXPECT_EQ(LoginCodeFile(path).read(code), LoginCodeFile::ReadResult::kTooLong);
  EXPECT_TRUE(code.empty());
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace tessary
