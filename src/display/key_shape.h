// The part of the render area where the screen shows the overlay colour.
//
// Windows are laid in from the bottom of the stack to the top: each one marks
// its key-coloured pixels as showing the picture and all its other pixels as
// hiding it; windows above the overlay only hide. The result is a list of
// rectangles for the window system's shape.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tessary {

struct ShapeRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const ShapeRect&, const ShapeRect&) = default;
};

class KeyShape {
 public:
  // An area of `width` x `height` pixels where nothing shows the key yet.
  void reset(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }

  // Lays in a window's pixels over `area` (shape coordinates, clipped to the
  // shape): 32-bit pixels whose low 24 bits (0xRRGGBB) equal `key` show the
  // picture. `pixels` is the pixel at the area's top-left corner.
  void paint(ShapeRect area, const std::uint8_t* pixels, int pitch, std::uint32_t key);
  // Lays in something that never shows the picture.
  void cover(ShapeRect area);

  // The key pixels as y-x banded rectangles: top to bottom, left to right,
  // rows with the same runs merged into one band.
  std::span<const ShapeRect> rectangles();

 private:
  bool clip(ShapeRect& area) const;

  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> mask_;  // 1 where the key shows
  std::vector<ShapeRect> rectangles_;
};

}  // namespace tessary
