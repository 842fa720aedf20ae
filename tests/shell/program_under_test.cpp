#include "shell/program_under_test.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>

namespace tessary::testing {

const ProgramUnderTest& programUnderTest() {
  static const ProgramUnderTest program = [] {
    ProgramUnderTest chosen;
    const char* named = std::getenv("TESSARY_PROGRAM_UNDER_TEST");
    if (named == nullptr || *named == '\0') {
      chosen.command = {TESSARY_PROGRAM};
      return chosen;
    }
    if (const char* runner = std::getenv("TESSARY_PROGRAM_RUNNER"); runner != nullptr && *runner != '\0') {
      chosen.command.emplace_back(runner);
    }
    chosen.command.emplace_back(named);
    chosen.endsByQuit = chosen.command.back().ends_with(".exe");
    return chosen;
  }();
  return program;
}

std::vector<std::string> programArguments(const std::vector<std::string>& options) {
  std::vector<std::string> argv = programUnderTest().command;
  argv.insert(argv.end(), options.begin(), options.end());
  return argv;
}

unsigned startProgram(ChildProcess& program, const std::vector<std::string>& options,
                      const std::vector<std::string>& environment, std::chrono::milliseconds timeout) {
  EXPECT_TRUE(program.start(programArguments(options), environment));
  const std::optional<std::string> line = program.readLine(timeout);
  const auto at = line ? line->rfind(" listening on port ") : std::string::npos;
  if (!line || !line->starts_with("Tessary ") || at == std::string::npos) {
    ADD_FAILURE() << "no listening line: " << line.value_or("") << "\n" << program.errorOutput();
    return 0;
  }
  return static_cast<unsigned>(std::stoul(line->substr(at + 19)));
}

int endProgram(ChildProcess& server, const std::vector<std::string>& environment,
               std::chrono::milliseconds timeout) {
  if (!programUnderTest().endsByQuit) {
    server.signal(SIGTERM);
    return server.wait(timeout).value_or(-1);
  }
  ChildProcess quit;
  if (!quit.start(programArguments({"--quit"}), environment) || quit.wait(timeout) != 0) return -1;
  return server.wait(timeout).value_or(-1);
}

void endWindowSession() {
  const char* prefix = std::getenv("TESSARY_WINEPREFIX");
  if (!programUnderTest().endsByQuit || prefix == nullptr || *prefix == '\0') return;
  ChildProcess server;
  if (server.start({"wineserver", "-k"}, {std::string("WINEPREFIX=") + prefix})) server.wait(10s);
}

}  // namespace tessary::testing
