#include "shell/tray_model.h"

#include <gtest/gtest.h>

#include "shell/dialog_geometry.h"

#include <string>
#include <vector>

namespace tessary {
namespace {

class FakeController final : public TrayController {
 public:
  const char* cameraName(int index) override {
    return index >= 0 && index < static_cast<int>(names.size()) ? names[index].c_str() : nullptr;
  }
  int currentCameraIndex() override { return current; }
  void selectCamera(int index) override { selected.push_back(index); }
  bool mirrored() override { return mirror; }
  bool flipped() override { return flip; }
  void toggleMirror() override { mirror = !mirror; }
  void toggleFlip() override { flip = !flip; }

  std::vector<std::string> names;
  int current = 0;
  bool mirror = true;
  bool flip = true;
  std::vector<int> selected;
};

TEST(TrayModelTest, TipFollowsTheLoginState) {
  EXPECT_EQ(trayTipText(false), "Orrinview - Not logged in");
  EXPECT_EQ(trayTipText(true), "Orrinview - Logged in");
  EXPECT_LE(trayTipText(false).size(), 63u);
}

TEST(TrayModelTest, CameraMenuIsFilledOnceAndChecksTheCameraInUse) {
  FakeController controller;
  controller.names = {"front", "back", "side"};
  controller.current = 1;
  CameraMenu menu;
  ASSERT_EQ(menu.entries().size(), 1u);
  EXPECT_EQ(menu.entries()[0].text, "tmp");

  menu.fillOnce(controller);
  menu.updateChecks(controller);
  ASSERT_EQ(menu.entries().size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(menu.entries()[i].text, controller.names[i]);
    EXPECT_EQ(menu.entries()[i].command, 33000 + i);
    EXPECT_EQ(menu.entries()[i].checked, i == 1);
  }

  // Cameras attached later do not appear; the check still follows.
  controller.names.push_back("late");
  controller.current = 2;
  menu.fillOnce(controller);
  menu.updateChecks(controller);
  ASSERT_EQ(menu.entries().size(), 3u);
  EXPECT_TRUE(menu.entries()[2].checked);
  EXPECT_FALSE(menu.entries()[1].checked);
}

TEST(TrayModelTest, CameraMenuShowsNoCameraAndAtMostFour) {
  FakeController none;
  CameraMenu empty;
  empty.fillOnce(none);
  empty.updateChecks(none);
  ASSERT_EQ(empty.entries().size(), 1u);
  EXPECT_EQ(empty.entries()[0].text, "<No camera detected>");
  EXPECT_EQ(empty.entries()[0].command, 33000);
  EXPECT_FALSE(empty.entries()[0].checked);

  FakeController many;
  many.names = {"a", "b", "c", "d", "e", "f"};
  CameraMenu menu;
  menu.fillOnce(many);
  EXPECT_EQ(menu.entries().size(), 4u);
}

TEST(TrayModelTest, CommandsReachTheControllerOrTheHost) {
  FakeController controller;
  EXPECT_EQ(runTrayCommand(kCommandMirror, controller), TrayAction::kNone);
  EXPECT_FALSE(controller.mirror);
  EXPECT_EQ(runTrayCommand(kCommandFlip, controller), TrayAction::kNone);
  EXPECT_FALSE(controller.flip);

  // No camera: the "<No camera detected>" entry does nothing.
  runTrayCommand(33000, controller);
  EXPECT_TRUE(controller.selected.empty());
  controller.names = {"a", "b"};
  runTrayCommand(33000, controller);
  runTrayCommand(33003, controller);  // the controller ignores a missing camera
  runTrayCommand(33004, controller);  // beyond the four slots: nothing
  runTrayCommand(32999, controller);
  EXPECT_EQ(controller.selected, (std::vector<int>{0, 3}));

  EXPECT_EQ(runTrayCommand(kCommandEnterCode, controller), TrayAction::kEnterCode);
  EXPECT_EQ(runTrayCommand(kCommandHelp, controller), TrayAction::kHelp);
  EXPECT_EQ(runTrayCommand(kCommandAbout, controller), TrayAction::kAbout);
  EXPECT_EQ(runTrayCommand(kCommandExit, controller), TrayAction::kExit);
  EXPECT_EQ(runTrayCommand(kCommandOpenReadme, controller), TrayAction::kOpenReadme);
  EXPECT_EQ(runTrayCommand(kCommandOpenProtocol, controller), TrayAction::kOpenProtocol);
}

TEST(DialogGeometryTest, CentresOnTheDesktopInsideTheWorkArea) {
  ScreenBox desktop{0, 0, 1024, 768};
  EXPECT_EQ(centredDialogPosition(301, 200, desktop, std::nullopt), (ScreenPoint{361, 284}));
  // A panel on the left and at the bottom: the centre still fits.
  EXPECT_EQ(centredDialogPosition(300, 200, desktop, ScreenBox{40, 0, 984, 740}),
            (ScreenPoint{362, 284}));
  // Pushed in from the left edge, pulled back from the bottom edge.
  EXPECT_EQ(centredDialogPosition(1000, 200, desktop, ScreenBox{40, 0, 984, 768}).x, 40);
  EXPECT_EQ(centredDialogPosition(300, 700, desktop, ScreenBox{0, 0, 1024, 600}),
            (ScreenPoint{362, -100}));
}

}  // namespace
}  // namespace tessary
