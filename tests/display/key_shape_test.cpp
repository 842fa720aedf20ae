#include "display/key_shape.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessary {
namespace {

constexpr std::uint32_t kKey = 0xFF00FF;

// A window image of `width` x `height` grey pixels.
struct Image {
  Image(int w, int h) : width(w), pixels(static_cast<std::size_t>(w) * h, 0xFF808080u) {}
  void fill(ShapeRect r, std::uint32_t colour) {
    for (int y = r.y; y < r.y + r.height; ++y)
      for (int x = r.x; x < r.x + r.width; ++x) pixels[static_cast<std::size_t>(y * width + x)] = colour;
  }
  const std::uint8_t* bytes() const { return reinterpret_cast<const std::uint8_t*>(pixels.data()); }
  int pitch() const { return width * 4; }
  int width;
  std::vector<std::uint32_t> pixels;
};

std::vector<ShapeRect> rects(KeyShape& shape) {
  auto span = shape.rectangles();
  return {span.begin(), span.end()};
}

TEST(KeyShapeTest, KeyRectangleBecomesOneBandedRectangle) {
  KeyShape shape;
  shape.reset(100, 80);
  Image window(100, 80);
  window.fill({10, 20, 30, 40}, 0x00FF00FF);  // the top byte is ignored
  shape.paint({0, 0, 100, 80}, window.bytes(), window.pitch(), kKey);
  EXPECT_EQ(rects(shape), (std::vector<ShapeRect>{{10, 20, 30, 40}}));
}

TEST(KeyShapeTest, ShapesWithHolesAndStepsMakeBands) {
  KeyShape shape;
  shape.reset(20, 10);
  Image window(20, 10);
  window.fill({0, 0, 10, 4}, kKey);
  window.fill({4, 1, 2, 2}, 0);        // a hole in rows 1-2
  shape.paint({0, 0, 20, 10}, window.bytes(), window.pitch(), kKey);
  EXPECT_EQ(rects(shape), (std::vector<ShapeRect>{
                              {0, 0, 10, 1}, {0, 1, 4, 2}, {6, 1, 4, 2}, {0, 3, 10, 1}}));
}

TEST(KeyShapeTest, UpperWindowsHideAndRepaint) {
  KeyShape shape;
  shape.reset(50, 50);
  Image lower(50, 50);
  lower.fill({0, 0, 50, 50}, kKey);
  shape.paint({0, 0, 50, 50}, lower.bytes(), lower.pitch(), kKey);
  // A grey window above the left half, placed partly outside the area.
  Image upper(40, 60);
  shape.paint({-15, -5, 40, 60}, upper.bytes(), upper.pitch(), kKey);
  shape.cover({40, 0, 100, 10});  // something stacked above the overlay
  EXPECT_EQ(rects(shape), (std::vector<ShapeRect>{{25, 0, 15, 10}, {25, 10, 25, 40}}));

  // Clipping skips into the image by the part cut off: key only at its (20, 5).
  Image keyed(40, 60);
  keyed.fill({20, 5, 1, 1}, kKey);
  shape.reset(50, 50);
  shape.paint({-20, -5, 40, 60}, keyed.bytes(), keyed.pitch(), kKey);
  EXPECT_EQ(rects(shape), (std::vector<ShapeRect>{{0, 0, 1, 1}}));
}

TEST(KeyShapeTest, NothingKeyedGivesNoRectangles) {
  KeyShape shape;
  shape.reset(8, 8);
  EXPECT_TRUE(shape.rectangles().empty());
  shape.paint({0, 0, 8, 8}, nullptr, 32, kKey);
  shape.reset(0, 0);
  shape.cover({0, 0, 8, 8});
  EXPECT_TRUE(shape.rectangles().empty());
}

}  // namespace
}  // namespace tessary
