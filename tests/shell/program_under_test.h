// The program the program-level tests talk to: this build's own tessary, or
// the one TESSARY_PROGRAM_UNDER_TEST names, such as the Windows program behind
// its Wine wrapper. The same conversation then checks both.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_folder.h"
#include "support/test_client.h"

namespace tessary::testing {

struct ProgramUnderTest {
  // The words that start the program; its options follow them.
  std::vector<std::string> command;
  // A Windows program has no termination signals: a second copy run with
  // --quit asks it to end.
  bool endsByQuit = false;
};

// TESSARY_PROGRAM_UNDER_TEST names the program (one ending in ".exe" is a
// Windows one) and TESSARY_PROGRAM_RUNNER what runs it (the Wine wrapper);
// unset, this build's program.
const ProgramUnderTest& programUnderTest();

// The command followed by `options`.
std::vector<std::string> programArguments(const std::vector<std::string>& options);

// Starts the program with `options` and returns the port its listening line
// names, or 0 after recording a failure when no such line comes in `timeout`.
unsigned startProgram(ChildProcess& program, const std::vector<std::string>& options,
                      const std::vector<std::string>& environment, std::chrono::milliseconds timeout = 10s);

// Asks `server` to end the platform's way (SIGTERM, or --quit run with the
// same `environment`) and returns its exit code, or -1 when it did not end in
// `timeout`.
int endProgram(ChildProcess& server, const std::vector<std::string>& environment = {},
               std::chrono::milliseconds timeout = 10s);

// After a test that opened windows: Wine's desktop process stays bound to the
// X display it first served, so the Windows program's Wine prefix (named by
// TESSARY_WINEPREFIX) is shut down with the test's display. Nothing to do for
// this build's own program.
void endWindowSession();

// What the program-level cases share: private runtime and configuration
// folders, a code file holding "s3cret", and a client's login.
class ProgramFixture : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(writeFile(codeFile_, "s3cret")); }

  std::vector<std::string> environment() const {
    std::vector<std::string> variables = {"XDG_RUNTIME_DIR=" + runtime_.path(), "XDG_CONFIG_HOME=" + configHome_,
                                          "WAYLAND_DISPLAY"};
    variables.insert(variables.end(), displayEnvironment_.begin(), displayEnvironment_.end());
    return variables;
  }
  // No display unless a case starts one and names it here.
  void useDisplay(const std::string& display) { displayEnvironment_ = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"}; }

  // Connects `client` and logs it in, sending `statements` with the login.
  static void logIn(TestClient& client, unsigned port, const std::string& statements = "",
                    const std::string& host = "127.0.0.1") {
    ASSERT_TRUE(client.connect(port, host));
    client.send("login(s3cret)" + statements);
    ASSERT_TRUE(client.waitFor("<login status=\"successful\">", 10s));
  }

  TempFolder runtime_;
  TempFolder files_;
  std::string codeFile_ = files_.file("code.dat");
  std::string configHome_ = files_.path();
  std::vector<std::string> displayEnvironment_ = {"DISPLAY"};
};

}  // namespace tessary::testing
