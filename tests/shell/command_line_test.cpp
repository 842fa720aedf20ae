#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace tessary {
namespace {

CommandLineResult parse(std::vector<std::string_view> args) { return parseCommandLine(args); }

TEST(CommandLineTest, DefaultsKeepThePlainProgram) {
  CommandLineResult result = parse({});
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.options.port, 2152);
  EXPECT_EQ(result.options.cameraSource, "v4l2");
  EXPECT_TRUE(result.options.codeFile.empty());
  EXPECT_FALSE(result.options.headless || result.options.verbose || result.options.setCode);
}

TEST(CommandLineTest, ReadsEveryOptionInBothSpellings) {
  CommandLineResult result = parse({"--port", "0", "--code-file=/tmp/c d", "--camera", "raw:/x/y.raw",
                                    "--headless", "--verbose", "--set-code"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.options.port, 0);
  EXPECT_EQ(result.options.codeFile, "/tmp/c d");
  EXPECT_EQ(result.options.cameraSource, "raw:/x/y.raw");
  EXPECT_TRUE(result.options.headless && result.options.verbose && result.options.setCode);

  result = parse({"--port=65535", "--camera=demo", "--version", "--help"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.options.port, 65535);
  EXPECT_EQ(result.options.cameraSource, "demo");
  EXPECT_TRUE(result.options.showVersion && result.options.showHelp);
}

TEST(CommandLineTest, RefusesWhatCannotBeUsed) {
  // Each case names what is wrong, so the user can fix it.
  struct Case {
    std::vector<std::string_view> args;
    std::string_view mentions;
  };
  std::vector<Case> cases = {
      {{"--port", "65536"}, "65536"},
      {{"--port", "-1"}, "-1"},
      {{"--port", "12ab"}, "12ab"},
      {{"--port="}, "port"},
      {{"--port"}, "--port"},
      {{"--camera", "usb"}, "usb"},
      {{"--camera", "raw:"}, "raw:"},
      {{"--code-file="}, "--code-file"},
      {{"--frobnicate"}, "--frobnicate"},
      {{"--headless=yes"}, "--headless"},
      {{"stray"}, "stray"},
  };
  for (const Case& c : cases) {
    CommandLineResult result = parse(c.args);
    EXPECT_FALSE(result.ok) << c.args[0];
    EXPECT_NE(result.error.find(c.mentions), std::string::npos) << result.error;
  }
}

}  // namespace
}  // namespace tessary
