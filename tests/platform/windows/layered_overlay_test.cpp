// The software overlay's own start-up and shut-down. What it shows over a
// client's key-coloured windows is read back from the screen end to end, with
// the program, in overlay_program_test.cpp.
#include "platform/windows/layered_overlay.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/frame.h"

namespace tessary {
namespace {

class BlankPictures final : public PictureSource {
 public:
  PictureFrame currentPicture() const override { return PictureFrame{frame, {false, true}}; }
  std::vector<std::uint8_t> frame = std::vector<std::uint8_t>(kFrameBytes);
};

struct Messages {
  void add(std::string_view message) { lines.emplace_back(message); }
  MemberCallback<std::string_view> callback() { return MemberCallback<std::string_view>::bind(this, &Messages::add); }
  std::vector<std::string> lines;
};

TEST(LayeredOverlay, SaysOnceWhatItUsesAndRefusesWorkOnceShutDown) {
  DisplayState state;
  state.screenWidth = GetSystemMetrics(SM_CXSCREEN);
  state.screenHeight = GetSystemMetrics(SM_CYSCREEN);
  state.renderArea = ScreenRect{100, 100, 400, 300};
  BlankPictures pictures;
  Messages errors, notes;
  LayeredOverlay overlay(state, pictures, errors.callback(), notes.callback());
  ASSERT_EQ(overlay.overlayInit(), 0);
  EXPECT_TRUE(errors.lines.empty());
  // What the hardware offers, and the presentation in use.
  ASSERT_EQ(notes.lines.size(), 2u);
  EXPECT_NE(overlay.presentation(), OverlayPresentation::kNone);
  EXPECT_EQ(notes.lines[1], describePresentation(overlay.presentation()));
  EXPECT_EQ(overlay.overlayPresent(), 0);
  EXPECT_NE(overlay.windowHandle(), 0u);

  overlay.overlayShutdown();
  EXPECT_EQ(overlay.overlayPresent(), -1);
  EXPECT_EQ(overlay.overlayUpdatePosition(), -1);
  EXPECT_EQ(overlay.windowHandle(), 0u);
  overlay.overlayShutdown();  // twice is harmless
}

}  // namespace
}  // namespace tessary
