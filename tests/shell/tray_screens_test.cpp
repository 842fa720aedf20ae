// The program's tray icon, menu and dialogs as a user meets them: the program
// under test (see program_under_test.h) on a private Xvfb with a tray host,
// driven with the mouse and keys through xdotool. Each step leaves a
// screenshot in TESSARY_SCREENSHOT_DIR (default: "screenshots" in the working
// directory) for a person to look at.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "shell/program_under_test.h"
#include "support/child_process.h"
#include "support/xvfb_session.h"

namespace tessary {
namespace {

using namespace tessary::testing;

std::string screenshotFolder() {
  const char* named = std::getenv("TESSARY_SCREENSHOT_DIR");
  std::filesystem::path folder = named != nullptr && *named != '\0' ? named : "screenshots";
  std::filesystem::create_directories(folder);
  return std::filesystem::absolute(folder).string();
}

class TrayScreensTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(session_.start(true, false)) << "Xvfb and wmdocker are needed"; }

  void TearDown() override {
    link_.close();
    if (program_.pid() > 0 && !program_.wait(0ms)) endProgram(program_, environment());
    endWindowSession();
  }

  std::vector<std::string> environment() const {
    return {"DISPLAY=" + session_.display(), "XDG_RUNTIME_DIR=" + runtime_.path(),
            "XDG_CONFIG_HOME=" + files_.path(), "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=xcb"};
  }

  // Starts the program with `codeFile` and waits for its icon in the tray.
  unsigned start(const std::string& codeFile) {
    EXPECT_TRUE(program_.start(programArguments({"--camera", "demo", "--port", "0", "--web-port", "0",
                                                 "--code-file", codeFile}),
                               environment()));
    // A first start in a fresh Wine prefix takes a while.
    std::optional<std::string> line = program_.readLine(60s);
    const auto at = line ? line->rfind(" listening on port ") : std::string::npos;
    if (at == std::string::npos) {
      ADD_FAILURE() << "no listening line: " << line.value_or("") << "\n" << program_.errorOutput();
      return 0;
    }
    EXPECT_TRUE(waitFor([&] { return session_.dockedIcons() == 1; }, 20s)) << program_.errorOutput();
    return static_cast<unsigned>(std::stoul(line->substr(at + 19)));
  }

  bool xdotool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/usr/bin/xdotool");
    return runTool(arguments, session_.display()).has_value();
  }

  // The window whose title is exactly `title`, once it shows (0 when none does).
  unsigned long waitForWindow(const std::string& title) {
    unsigned long window = 0;
    waitFor(
        [&] {
          std::optional<std::string> found = runTool(
              {"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, session_.display());
          window = found && !found->empty() ? std::stoul(*found) : 0;
          return window != 0;
        },
        15s);
    return window;
  }

  bool windowGone(const std::string& title) {
    return waitFor(
        [&] {
          std::optional<std::string> found = runTool(
              {"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, session_.display());
          return !found || found->empty();
        },
        10s);
  }

  // Opens the tray menu with a right click on the icon (the tray host holds
  // the first icon at 1, 1 inside its window at 0, 0).
  void openMenu() {
    ASSERT_TRUE(xdotool({"mousemove", "12", "12", "click", "3"}));
    std::this_thread::sleep_for(1s);
  }

  // Gives `window` the keyboard: there is no window manager to do it.
  void focus(unsigned long window) {
    xdotool({"windowfocus", "--sync", std::to_string(window)});
    std::this_thread::sleep_for(300ms);
  }

  void screenshot(const std::string& name) {
    // Let the last paint land.
    std::this_thread::sleep_for(500ms);
    const std::string path = folder_ + "/" + name + ".png";
    EXPECT_TRUE(runTool({"/usr/bin/import", "-window", "root", path}, session_.display())) << path;
  }

  template <typename Condition>
  static bool waitFor(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(100ms);
    }
    return true;
  }

  XvfbSession session_;
  TempFolder runtime_;
  TempFolder files_;
  ChildProcess program_;
  ProgramClient link_;
  std::string folder_ = screenshotFolder();
};

TEST_F(TrayScreensTest, IconMenuAndDialogsComeUpAndDoTheirWork) {
  const std::string codeFile = files_.file("code.dat");
  ASSERT_TRUE(writeFile(codeFile, "s3cret"));
  const unsigned port = start(codeFile);
  ASSERT_NE(port, 0u);

  // The tip follows the login: the mouse on the icon shows it.
  ASSERT_TRUE(xdotool({"mousemove", "12", "12"}));
  std::this_thread::sleep_for(2s);
  screenshot("1-tray-tip-not-logged-in");
  ASSERT_TRUE(link_.connect(port));
  link_.send("login(s3cret)");
  ASSERT_TRUE(link_.waitFor("<login status=\"successful\">", 10s));
  ASSERT_TRUE(xdotool({"mousemove", "40", "40", "mousemove", "12", "12"}));
  std::this_thread::sleep_for(2s);
  screenshot("2-tray-tip-logged-in");

  openMenu();
  screenshot("3-tray-menu");
  ASSERT_TRUE(xdotool({"key", "m"}));  // Ca&mera
  screenshot("4-tray-menu-camera");
  ASSERT_TRUE(xdotool({"key", "Escape", "Escape"}));

  // Enter New Code writes exactly what was typed.
  openMenu();
  ASSERT_TRUE(xdotool({"key", "c"}));
  unsigned long dialog = waitForWindow("Enter New Code");
  ASSERT_NE(dialog, 0u) << "no Enter New Code dialog";
  focus(dialog);
  ASSERT_TRUE(xdotool({"type", "--delay", "50", "new code 7"}));
  screenshot("5-enter-new-code");
  ASSERT_TRUE(xdotool({"key", "Return"}));
  EXPECT_TRUE(windowGone("Enter New Code"));
  EXPECT_EQ(readFile(codeFile), "new code 7");
  // The client that logged in with the old code stays logged in.
  link_.send("whoareyou()");
  EXPECT_FALSE(link_.collect(500ms).empty());

  openMenu();
  ASSERT_TRUE(xdotool({"key", "a"}));
  dialog = waitForWindow("About Tessary");
  ASSERT_NE(dialog, 0u) << "no About dialog";
  screenshot("6-about");
  focus(dialog);
  ASSERT_TRUE(xdotool({"key", "Escape"}));
  EXPECT_TRUE(windowGone("About Tessary"));

  openMenu();
  ASSERT_TRUE(xdotool({"key", "h"}));
  dialog = waitForWindow("Help");
  ASSERT_NE(dialog, 0u) << "no Help dialog";
  screenshot("7-help");
  focus(dialog);
  ASSERT_TRUE(xdotool({"key", "Escape"}));
  EXPECT_TRUE(windowGone("Help"));

  // Exit takes the icon away and ends the program cleanly.
  openMenu();
  ASSERT_TRUE(xdotool({"key", "x"}));
  EXPECT_EQ(program_.wait(20s), 0) << program_.errorOutput();
  EXPECT_TRUE(waitFor([&] { return session_.dockedIcons() == 0; }, 10s));
}

// A code file that cannot be written: a message box titled "Error" says so,
// and the dialog stays open for another try or Cancel.
TEST_F(TrayScreensTest, ACodeFileThatCannotBeWrittenIsReported) {
  const std::string codeFile = files_.file("missing/code.dat");
  ASSERT_NE(start(codeFile), 0u);
  openMenu();
  ASSERT_TRUE(xdotool({"key", "c"}));
  unsigned long dialog = waitForWindow("Enter New Code");
  ASSERT_NE(dialog, 0u);
  focus(dialog);
  ASSERT_TRUE(xdotool({"type", "x"}));
  ASSERT_TRUE(xdotool({"key", "Return"}));
  unsigned long error = waitForWindow("Error");
  ASSERT_NE(error, 0u) << "no message box";
  screenshot("8-code-file-error");
  focus(error);
  ASSERT_TRUE(xdotool({"key", "Return"}));
  EXPECT_TRUE(windowGone("Error"));
  EXPECT_NE(waitForWindow("Enter New Code"), 0u) << "the dialog stays open";
  EXPECT_FALSE(std::filesystem::exists(codeFile));
}

}  // namespace
}  // namespace tessary
