#include "display/viewer_picture.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessary {
namespace {

TEST(ViewerPictureTest, TurnsTheFrameAsTheOverlayDoesAndIsBlackWithoutOne) {
  std::vector<std::uint8_t> frame(kFrameBytes, 0);
  // Frame pixel (row 0, column 0) blue 1, green 2, red 3; (119, 159) all 9.
  frame[0] = 1;
  frame[1] = 2;
  frame[2] = 3;
  const std::size_t last = kFrameBytes - kFrameBytesPerPixel;
  frame[last] = frame[last + 1] = frame[last + 2] = 9;
  std::vector<std::uint8_t> rgba(kViewerPictureBytes, 7);

  encodeViewerPicture(PictureFrame{frame, {false, false}}, rgba);
  EXPECT_EQ((std::vector<std::uint8_t>(rgba.begin(), rgba.begin() + 4)),
            (std::vector<std::uint8_t>{3, 2, 1, 255}));
  // Mirrored and flipped, output (0, 0) shows frame (119, 159) and the
  // frame's first pixel lands last.
  encodeViewerPicture(PictureFrame{frame, {true, true}}, rgba);
  EXPECT_EQ(rgba[0], 9);
  EXPECT_EQ((std::vector<std::uint8_t>(rgba.end() - 4, rgba.end())),
            (std::vector<std::uint8_t>{3, 2, 1, 255}));
  // Only mirrored: the first row reversed.
  encodeViewerPicture(PictureFrame{frame, {true, false}}, rgba);
  EXPECT_EQ(rgba[159 * 4], 3);

  encodeViewerPicture(PictureFrame{}, rgba);
  EXPECT_EQ((std::vector<std::uint8_t>(rgba.end() - 4, rgba.end())),
            (std::vector<std::uint8_t>{0, 0, 0, 255}));
}

}  // namespace
}  // namespace tessary
