// A Windows user's first run of tessary.exe on this case's display: without
// a login code the tray icon says once where to set one, and a dialog asked
// for from the tray menu while another is open brings that one to the front
// instead of stacking a second. The menu's choices reach the program as the
// menu sends them, as WM_COMMAND to its hidden main window.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/key_client_process.h"
#include "platform/windows/program_process.h"
#include "shell/tray_model.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

namespace tessary {
namespace {

using namespace std::chrono_literals;
using testing::ProgramProcess;
using testing::fullPath;
using testing::waitUntil;

// The visible top-level windows that `match` takes, in z-order.
std::vector<HWND> visibleWindows(const std::function<bool(HWND)>& match) {
  struct Search {
    const std::function<bool(HWND)>& match;
    std::vector<HWND> found;
  } search{match, {}};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto& state = *reinterpret_cast<Search*>(context);
        if (IsWindowVisible(window) && state.match(window)) state.found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> windowsTitled(const std::string& title) {
  return visibleWindows([&](HWND window) {
    char text[100] = {};
    GetWindowTextA(window, text, sizeof text);
    return title == text;
  });
}

// A balloon from a tray icon: a tooltip window of the balloon style.
bool balloonShows() {
  return !visibleWindows([](HWND window) {
            char name[64] = {};
            GetClassNameA(window, name, sizeof name);
            return std::string(name) == TOOLTIPS_CLASSA && (GetWindowLongA(window, GWL_STYLE) & TTS_BALLOON) != 0;
          }).empty();
}

class FirstRunTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (started_) {
      EXPECT_EQ(program_.quit(), 0) << program_.output();
    }
  }

  void start(const std::string& codeFile) {
    ASSERT_TRUE(program_.start("--port 0 --camera demo --code-file \"" + codeFile + "\"", "first_run_output.txt"));
    started_ = true;
    ASSERT_NE(program_.waitForPort(), 0) << program_.output();
    ASSERT_TRUE(waitUntil([&] { return (mainWindow_ = FindWindowA("TESSARY", nullptr)) != nullptr; }, 10s, 50ms));
  }

  // A choice from the tray menu.
  void choose(int command) { PostMessageA(mainWindow_, WM_COMMAND, static_cast<WPARAM>(command), 0); }

  ProgramProcess program_;
  bool started_ = false;
  HWND mainWindow_ = nullptr;
};

TEST_F(FirstRunTest, WithoutACodeTheIconSaysWhereToSetOne) {
  ASSERT_NO_FATAL_FAILURE(start(fullPath("first_run_no_code.dat")));
  EXPECT_TRUE(waitUntil(&balloonShows, 15s, 100ms)) << "no balloon from the tray icon";
  EXPECT_TRUE(testing::saveScreenshot("first_run_balloon.bmp"));
  EXPECT_TRUE(program_.quit() == 0) << program_.output();

  // With a code there is nothing to say.
  ASSERT_TRUE(testing::writeFile("first_run_code.dat", "s3cret"));
  ASSERT_NO_FATAL_FAILURE(start(fullPath("first_run_code.dat")));
  EXPECT_FALSE(waitUntil(&balloonShows, 5s, 100ms)) << "a balloon although a code is set";
}

TEST_F(FirstRunTest, ASecondDialogBringsTheOpenOneToTheFront) {
  ASSERT_TRUE(testing::writeFile("first_run_code.dat", "s3cret"));
  ASSERT_NO_FATAL_FAILURE(start(fullPath("first_run_code.dat")));
  choose(kCommandEnterCode);
  ASSERT_TRUE(waitUntil([] { return windowsTitled("Enter New Code").size() == 1; }, 15s, 50ms));
  const HWND dialog = windowsTitled("Enter New Code").front();

  // Every dialog of the menu, again or another, while it is open.
  choose(kCommandEnterCode);
  choose(kCommandAbout);
  choose(kCommandHelp);
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(windowsTitled("Enter New Code").size(), 1u);
  EXPECT_TRUE(windowsTitled("About Tessary").empty());
  EXPECT_TRUE(windowsTitled("Help").empty());
  EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() == dialog; }, 5s, 50ms));
  EXPECT_TRUE(testing::saveScreenshot("first_run_dialog.bmp"));

  // Once it is closed, the next choice opens its own dialog.
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(waitUntil([] { return windowsTitled("Enter New Code").empty(); }, 10s, 50ms));
  choose(kCommandAbout);
  ASSERT_TRUE(waitUntil([] { return windowsTitled("About Tessary").size() == 1; }, 15s, 50ms));
  PostMessageA(windowsTitled("About Tessary").front(), WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(waitUntil([] { return windowsTitled("About Tessary").empty(); }, 10s, 50ms));
}

}  // namespace
}  // namespace tessary
