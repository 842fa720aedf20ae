// The overlay and the watched window end to end with the built Windows
// program: tessary.exe on this case's display, fed a uniform picture by the
// raw camera, and win32_key_client as its client, a separate process with a
// grey window holding key-coloured areas that logs in over the link. The
// screen is read back as the user would see it; a screenshot of each step is
// left in the test's working folder (overlay_program_*.bmp), beside the
// program's output (overlay_program_output.txt). It runs twice: at the
// system's usual scale and at 150 % (TESSARY_DISPLAY_DPI=144; then
// overlay_program_144_*.bmp), where Tessary must count in physical pixels.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/windows/key_client_process.h"
#include "platform/windows/program_process.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

namespace tessary {
namespace {

using testing::KeyClientProcess;
using testing::ProgramProcess;
using testing::fullPath;
using testing::readFile;
using testing::writeFile;
using testing::closeTo;
using testing::screenPixel;

constexpr std::uint32_t kMagenta = 0xFF00FF;
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kGrey = 0x808080;
// The camera's one colour: mirrored or flipped, the picture looks the same.
// The watermark in the middle of the picture is kept clear of every point
// checked.
constexpr std::uint32_t kPicture = 0x1EC83C;

// Every position here is a physical pixel, as Tessary's are: this test and
// its client see the screen unscaled whatever the system's scale.
[[maybe_unused]] const bool physicalPixels =
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) != FALSE;

// The manifest compiled into tessary.exe.
std::string programManifest() {
  HMODULE program = LoadLibraryExA(testing::windowsPath(TESSARY_PROGRAM).c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (program == nullptr) return {};
  std::string text;
  if (HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {  // RT_MANIFEST
    if (HGLOBAL loaded = LoadResource(program, found)) {
      text.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(program, found));
    }
  }
  FreeLibrary(program);
  return text;
}

std::string uniformPicture() {
  std::string frame;
  for (int i = 0; i < 160 * 120; ++i) frame += std::string{'\x3C', '\xC8', '\x1E', '\0'};  // BGRX
  return frame;
}

// The overlay reads the screen beneath it in the background and, under Wine,
// hides briefly to do so; a change takes up to a few seconds to show.
bool within(std::chrono::seconds limit, const std::function<bool()>& done) {
  return testing::waitUntil(done, limit, std::chrono::milliseconds(50));
}

class OverlayProgramTest : public ::testing::Test {
 protected:
  // The client's window first, then the program, then the client's login.
  void start() {
    ASSERT_TRUE(client_.ok()) << "the key client did not start";
    ASSERT_TRUE(writeFile("overlay_program_code.dat", "s3cret"));
    ASSERT_TRUE(writeFile("overlay_program_picture.raw", uniformPicture()));
    ASSERT_TRUE(program_.start("--verbose --port 0 --camera \"raw:" + fullPath("overlay_program_picture.raw") +
                                   "\" --code-file \"" + fullPath("overlay_program_code.dat") + "\"",
                               "overlay_program_output.txt"));
    const std::uint16_t port = program_.waitForPort();
    ASSERT_NE(port, 0) << program_.output();
    ASSERT_TRUE(client_.command("link " + std::to_string(port)));
    ASSERT_TRUE(client_.command("say login(s3cret)"));
    ASSERT_TRUE(client_.command("wait 10000 <login status=\"successful\">")) << program_.output();
  }

  void TearDown() override {
    if (!started_) return;
    EXPECT_EQ(program_.quit(), 0) << program_.output();
  }

  bool say(const std::string& text) { return client_.command("say " + text); }

  bool renderAreaIs(int x, int y, int w, int h) {
    const std::string expected = "<render_area x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
                                 "\" w=\"" + std::to_string(w) + "\" h=\"" + std::to_string(h) + "\">";
    return within(std::chrono::seconds(10),
                  [&] { return say("get_render_area()") && client_.command("wait 300 " + expected); });
  }

  // Waits until every point shows (close to) the colour.
  static bool shows(const std::vector<std::pair<int, int>>& points, std::uint32_t colour) {
    const bool shown = within(std::chrono::seconds(20), [&] {
      for (auto [x, y] : points) {
        if (!closeTo(screenPixel(x, y), colour)) return false;
      }
      return true;
    });
    if (!shown) {
      for (auto [x, y] : points) std::printf("(%d, %d) shows %06X\n", x, y, screenPixel(x, y));
    }
    return shown;
  }

  // A left click at screen (x, y), as from the mouse.
  static void click(int x, int y) {
    SetCursorPos(x, y);
    INPUT inputs[2]{};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof(INPUT));
  }

  static void screenshot(const char* step) {
    const char* dpi = std::getenv("TESSARY_DISPLAY_DPI");
    const std::string path = std::string("overlay_program_") + (dpi ? std::string(dpi) + "_" : "") + step + ".bmp";
    EXPECT_TRUE(testing::saveScreenshot(path)) << path;
  }

  KeyClientProcess client_{"panel"};
  ProgramProcess program_;
  bool started_ = false;
};

// The client's frame is a "TPanel" holding the viewer, screen
// (110, 110)-(410, 350), which shows the key colour in (150, 150)-(310, 270);
// the panel shows it too in (500, 350)-(600, 410), outside the viewer.
TEST_F(OverlayProgramTest, PictureShowsOnTheKeyInsideTheWatchedWindowAndFollowsIt) {
  started_ = true;
  // The scale this run asked for (150 % in its second run) is the system's.
  if (const char* dpi = std::getenv("TESSARY_DISPLAY_DPI")) {
    ASSERT_EQ(GetDpiForSystem(), static_cast<UINT>(std::atoi(dpi)));
  }
  ASSERT_NO_FATAL_FAILURE(start());
  // The declaration that keeps Windows from scaling it. (Wine 8 scales no
  // program's coordinates and reports every window as per-monitor aware, so
  // only the program file shows whether the declaration is there.)
  const std::string manifest = programManifest();
  const std::size_t awareness = manifest.find("<dpiAwareness");
  ASSERT_NE(awareness, std::string::npos) << manifest;
  EXPECT_EQ(manifest.compare(manifest.find('>', awareness) + 1, 12, "PerMonitorV2"), 0) << manifest;
  EXPECT_NE(program_.output().find("overlay: software overlay"), std::string::npos)
      << "--verbose says which presentation is in use\n"
      << program_.output();

  // No browser service under Wine: an empty list, but an answer.
  ASSERT_TRUE(say("get_lan()"));
  EXPECT_TRUE(client_.command("wait 10000 <lan content=\"\">"));
  ASSERT_TRUE(renderAreaIs(0, 0, 1024, 768));

  // The viewer less the borders: (160, 160)-(410, 350); the key's strip left
  // of and above x, y = 160 stays the client's.
  ASSERT_TRUE(say("watch_border(50,50,0,0);watch(true)"));
  ASSERT_TRUE(renderAreaIs(160, 160, 250, 190)) << program_.output();
  EXPECT_TRUE(shows({{165, 165}, {300, 170}, {190, 265}}, kPicture));
  EXPECT_TRUE(shows({{155, 155}, {155, 265}, {300, 155}}, kMagenta)) << "key, but under the border";
  EXPECT_TRUE(shows({{320, 200}, {200, 280}}, kGrey)) << "inside the render area, beside the key";
  EXPECT_TRUE(shows({{550, 380}}, kMagenta)) << "key, but outside the render area";
  screenshot("watched");

  // The picture takes no clicks: they reach the client's window beneath.
  ASSERT_TRUE(client_.command("clicks 0"));
  click(170, 170);
  EXPECT_TRUE(within(std::chrono::seconds(10), [&] { return client_.command("clicks 1"); }));

  // The client moves its window by (150, 100); the next tracking step takes
  // the overlay along: area (310, 260)-(560, 450), key (300, 250)-(460, 370).
  ASSERT_TRUE(client_.command("move 200 150"));
  ASSERT_TRUE(renderAreaIs(310, 260, 250, 190));
  EXPECT_TRUE(shows({{315, 265}, {455, 265}, {315, 365}}, kPicture));
  EXPECT_TRUE(shows({{305, 255}, {455, 255}}, kMagenta));
  EXPECT_TRUE(shows({{200, 200}, {470, 300}}, kGrey)) << "nothing left where the key was";
  screenshot("moved");

  // overlay_colour: the old key no longer shows the picture; once the client
  // paints the new one, it does again.
  ASSERT_TRUE(say("overlay_colour(0,0,255)"));
  EXPECT_TRUE(shows({{315, 265}, {455, 265}}, kMagenta));
  ASSERT_TRUE(client_.command("key 0000FF"));
  EXPECT_TRUE(shows({{315, 265}, {455, 265}, {315, 365}}, kPicture));
  EXPECT_TRUE(shows({{700, 480}}, kBlue)) << "the panel's key, outside the render area";
  screenshot("colour");

  // overlay(off) and back on.
  ASSERT_TRUE(say("overlay(off)"));
  EXPECT_TRUE(shows({{315, 265}, {455, 265}}, kBlue));
  ASSERT_TRUE(say("overlay(on)"));
  EXPECT_TRUE(shows({{315, 265}, {455, 265}}, kPicture));

  // The client stops painting the key: the picture goes with it.
  ASSERT_TRUE(client_.command("key 808080"));
  EXPECT_TRUE(shows({{315, 265}, {455, 265}}, kGrey));
  ASSERT_TRUE(client_.command("key 0000FF"));

  // render_area ends the watching. An area wholly off the screen shows
  // nothing; the overlay then stays at the new area, (300, 300)-(400, 400),
  // over part of the key, while the window moves on.
  ASSERT_TRUE(say("watch(false);render_area(-3000,-3000,2990,2990)"));
  EXPECT_TRUE(shows({{315, 265}, {455, 265}}, kBlue));
  ASSERT_TRUE(say("render_area(300,300,100,100)"));
  ASSERT_TRUE(renderAreaIs(300, 300, 100, 100));
  EXPECT_TRUE(shows({{305, 305}, {395, 305}, {305, 365}}, kPicture));
  EXPECT_TRUE(shows({{420, 350}, {305, 290}}, kBlue)) << "key, outside the render area";
  EXPECT_TRUE(shows({{350, 390}}, kGrey)) << "inside the render area, below the key";
  screenshot("render_area");
}

}  // namespace
}  // namespace tessary
