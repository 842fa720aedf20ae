// Scales a camera picture of any size into the 160 x 120 frame by averaging
// the area of the picture that falls on each frame pixel, so the whole field
// of view is kept (never cropped) and fine detail does not alias into motion.
//
//   FrameScaler scaler;
//   scaler.configure({ScalerPixels::kYuyv, 640, 480, 1280});
//   scaler.scale(picture, frame);  // frame: kFrameBytes, top row first
//
// Configure once per picture size; scale() then allocates nothing.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tessary {

enum class ScalerPixels : std::uint8_t {
  kBgrx,  // blue, green, red, unused
  kBgr,   // blue, green, red
  kYuyv,  // Y0 U Y1 V for each two pixels (BT.601, studio range)
};

struct ScalerInput {
  ScalerPixels pixels = ScalerPixels::kBgrx;
  std::int32_t width = 0;
  std::int32_t height = 0;      // rows in memory order
  std::int32_t rowBytes = 0;    // 0: packed rows
  bool bottomUp = false;        // the first row in memory is the picture's bottom row
};

class FrameScaler {
 public:
  // False (and nothing to scale with) for a size below 1 x 1, rows too short
  // for the width, or YUYV of an odd width.
  bool configure(const ScalerInput& input);
  // The bytes a picture of the configured size needs.
  std::size_t pictureBytes() const;
  // Writes the 160 x 120 BGRx frame, top row first. False, writing nothing,
  // when the picture is smaller than pictureBytes() or the frame is not a
  // whole frame.
  bool scale(std::span<const std::uint8_t> picture, std::span<std::uint8_t> frame);

  const ScalerInput& input() const { return input_; }

 private:
  // One source pixel's share of a frame pixel, in 1/4096ths: a frame
  // pixel's shares add up to exactly 4096 along each axis, so a row share
  // times a column share times 255 stays within 32 bits.
  struct Tap {
    std::int32_t index = 0;
    std::uint32_t weight = 0;
  };
  struct Taps {
    std::vector<Tap> taps;
    std::vector<std::uint32_t> starts;  // frame pixel i's taps are [starts[i], starts[i + 1])
  };

  static Taps taps(std::int32_t source, std::int32_t target);
  template <int kBytesPerPixel>
  void reduceRow(const std::uint8_t* row);

  ScalerInput input_{};
  bool configured_ = false;
  Taps columns_;
  Taps rows_;
  std::vector<std::uint8_t> bgrRow_;       // a YUYV row converted, 3 bytes a pixel
  std::vector<std::uint32_t> columnSums_;  // one source row reduced to 160 pixels, weighted
  std::vector<std::uint32_t> accumulated_;  // one frame row's weighted sums
};

}  // namespace tessary
