// The program's tray icon, menu and dialogs as a user meets them: the program
// under test (see program_under_test.h) on a private Xvfb with a tray host,
// driven with the mouse and keys through xdotool. Each step leaves a
// screenshot in TESSARY_SCREENSHOT_DIR (default: "screenshots" in the working
// directory) for a person to look at.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "shell/program_under_test.h"
#include "support/child_process.h"
#include "support/outside_programs.h"
#include "support/test_client.h"
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

// Pixels of the tray host's window in each of the icon's main colours.
struct IconColours {
  int tile = 0, ring = 0, orange = 0, total = 0;
};
IconColours iconColours(const std::optional<WindowPicture>& picture) {
  IconColours colours;
  if (!picture) return colours;
  for (const WindowPicture::Pixel& p : picture->pixels) {
    ++colours.total;
    if (p.red < 70 && p.green < 90 && p.blue >= 50 && p.blue < 110 && p.blue > p.red + 20) ++colours.tile;
    if (p.red > 190 && p.green > 190 && p.blue > 190) ++colours.ring;
    if (p.red > 200 && p.green > 110 && p.green < 200 && p.blue < 100) ++colours.orange;
  }
  return colours;
}

class TrayScreensTest : public ProgramFixture {
 protected:
  void SetUp() override {
    const std::string missing = missingPrograms({"import"});
    ASSERT_TRUE(missing.empty()) << missing;
    ASSERT_TRUE(session_.start(true, false)) << "the private X server with its tray host did not start";
    useDisplay(session_.display());
    ProgramFixture::SetUp();
  }

  void TearDown() override {
    link_.close();
    if (program_.pid() > 0 && !program_.wait(0ms)) endProgram(program_, environment());
    endWindowSession();
  }

  // Starts the program with `codeFile` and waits for its icon in the tray.
  // A first start in a fresh Wine prefix takes a while.
  unsigned start(const std::string& codeFile) {
    const unsigned port = startProgram(
        program_, {"--camera", "demo", "--port", "0", "--web-port", "0", "--code-file", codeFile}, environment(), 60s);
    EXPECT_TRUE(waitUntil([&] { return session_.dockedIcons() == 1; }, 20s, 100ms)) << program_.errorOutput();
    return port;
  }

  bool xdotool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), programPath("xdotool"));
    return runTool(arguments, session_.display()).has_value();
  }

  // The visible window whose title is exactly `title`, 0 when there is none.
  unsigned long window(const std::string& title) {
    std::optional<std::string> found =
        runTool({programPath("xdotool"), "search", "--onlyvisible", "--name", "^" + title + "$"}, session_.display());
    return found && !found->empty() ? std::stoul(*found) : 0;
  }
  unsigned long waitForWindow(const std::string& title) {
    unsigned long found = 0;
    waitUntil([&] { return (found = window(title)) != 0; }, 15s, 100ms);
    return found;
  }
  bool windowGone(const std::string& title) {
    return waitUntil([&] { return window(title) == 0; }, 10s, 100ms);
  }

  // Opens the tray menu with a right click on the icon (the tray host holds
  // the first icon at 1, 1 inside its window at 0, 0).
  void openMenu() {
    ASSERT_TRUE(xdotool({"mousemove", "12", "12", "click", "3"}));
    std::this_thread::sleep_for(1s);
  }

  // Opens "Enter New Code" from the menu and types `code` into it.
  void enterCode(const std::string& code) {
    openMenu();
    ASSERT_TRUE(xdotool({"key", "c"}));
    const unsigned long dialog = waitForWindow("Enter New Code");
    ASSERT_NE(dialog, 0u) << "no Enter New Code dialog";
    focus(dialog);
    ASSERT_TRUE(xdotool({"type", "--delay", "50", code}));
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
    EXPECT_TRUE(runTool({programPath("import"), "-window", "root", path}, session_.display())) << path;
  }

  XvfbSession session_;
  ChildProcess program_;
  TestClient link_;
  std::string folder_ = screenshotFolder();
};

TEST_F(TrayScreensTest, IconMenuAndDialogsComeUpAndDoTheirWork) {
  const std::string& codeFile = codeFile_;
  const unsigned port = start(codeFile);
  ASSERT_NE(port, 0u);

  // The icon shows its own colours: the dark tile, the light ring and the
  // orange quarter (an icon that failed to load shows as a black square).
  IconColours colours;
  EXPECT_TRUE(waitUntil(
      [&] {
        colours = iconColours(session_.trayPicture());
        return colours.tile > 100 && colours.ring > 10 && colours.orange > 5;
      },
      10s, 100ms))
      << "tile " << colours.tile << ", ring " << colours.ring << ", orange " << colours.orange << " of "
      << colours.total << " pixels";

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

  // Enter New Code writes exactly what was typed; Escape cancels and writes nothing.
  ASSERT_NO_FATAL_FAILURE(enterCode("new code 7"));
  screenshot("5-enter-new-code");
  ASSERT_TRUE(xdotool({"key", "Return"}));
  EXPECT_TRUE(windowGone("Enter New Code"));
  EXPECT_EQ(readFile(codeFile), "new code 7");
  ASSERT_NO_FATAL_FAILURE(enterCode("ignored"));
  ASSERT_TRUE(xdotool({"key", "Escape"}));
  EXPECT_TRUE(windowGone("Enter New Code"));
  EXPECT_EQ(readFile(codeFile), "new code 7");
  // The client that logged in with the old code stays logged in.
  link_.send("whoareyou()");
  EXPECT_FALSE(link_.collect(500ms).empty());

  for (const auto& [key, title, shot] : {std::tuple{"a", "About Tessary", "6-about"}, {"h", "Help", "7-help"}}) {
    openMenu();
    ASSERT_TRUE(xdotool({"key", key}));
    const unsigned long dialog = waitForWindow(title);
    ASSERT_NE(dialog, 0u) << "no " << title << " dialog";
    screenshot(shot);
    focus(dialog);
    ASSERT_TRUE(xdotool({"key", "Escape"}));
    EXPECT_TRUE(windowGone(title));
  }

  // Exit takes the icon away and ends the program cleanly.
  openMenu();
  ASSERT_TRUE(xdotool({"key", "x"}));
  EXPECT_EQ(program_.wait(20s), 0) << program_.errorOutput();
  EXPECT_TRUE(waitUntil([&] { return session_.dockedIcons() == 0; }, 10s, 100ms));
}

// A code file that cannot be written: a message box titled "Error" says so,
// and the dialog stays open for another try or Cancel.
TEST_F(TrayScreensTest, ACodeFileThatCannotBeWrittenIsReported) {
  const std::string codeFile = files_.file("missing/code.dat");
  ASSERT_NE(start(codeFile), 0u);
  ASSERT_NO_FATAL_FAILURE(enterCode("x"));
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

// A desktop without a tray host: the program keeps its windows, says that it
// shows no icon, docks it once a tray host starts, and ends cleanly on SIGTERM.
class TrayHostTest : public ProgramFixture {};

TEST_F(TrayHostTest, ProgramWithoutATrayHostSaysSoAndRunsOn) {
  XvfbSession bare;
  ASSERT_TRUE(bare.start(false, false));
  useDisplay(bare.display());
  ChildProcess program;
  ASSERT_NE(startProgram(program, {"--port", "0", "--web-port", "0", "--code-file", codeFile_}, environment()), 0u);
  EXPECT_NE(program.errorOutput().find("no system tray found"), std::string::npos) << program.errorOutput();
  ASSERT_TRUE(bare.startTray());
  EXPECT_TRUE(waitUntil([&] { return bare.dockedIcons() == 1; }, 5s, 100ms));
  program.signal(SIGTERM);
  EXPECT_EQ(program.wait(10s), 0) << program.errorOutput();
}

}  // namespace
}  // namespace tessary
