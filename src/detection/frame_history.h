// The two most recent camera frames and the picture settings of a detector.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "detection/change_kernels.h"
#include "detection/padded_rows.h"

namespace tessary {

// Red, green, blue.
struct PixelColour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;

  bool operator==(const PixelColour&) const = default;
};

// A picture setting read in one piece: its flag and its colour.
struct PictureSetting {
  std::uint8_t flag = 0;
  PixelColour colour;
};

class FrameHistory {
 public:
  // Frames are width x height x 4 bytes; the history starts black. A negative
  // size is taken as 0. The pixel work uses the kernels of `instructionSet`
  // (the baseline ones where it is not supported).
  FrameHistory(std::int32_t width, std::int32_t height, detail::InstructionSet instructionSet);
  virtual ~FrameHistory();

  FrameHistory(const FrameHistory&) = delete;
  FrameHistory& operator=(const FrameHistory&) = delete;

  // Takes the newest frame; see MotionDetector.
  virtual bool processFrame(const std::uint8_t*& frame) = 0;

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  void frameSize(std::int32_t& width, std::int32_t& height) const;

  // Fill: the output picture is this colour instead of the camera's picture
  // (black when the colour is 0, 0, 0). Highlight: counted pixels are painted
  // in this colour. Both may be set from another thread than the one
  // processing frames; a flag and its colour always change together.
  void setFill(std::uint8_t flag, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
  void setHighlight(std::uint8_t flag, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
  std::uint8_t fillFlag() const;
  std::uint8_t highlightFlag() const;
  PixelColour fillColour() const;
  PixelColour highlightColour() const;
  // Flag and colour from the same setting, for the thread processing frames.
  PictureSetting fill() const { return settingOf(fill_.load(std::memory_order_relaxed)); }
  PictureSetting highlight() const {
    return settingOf(highlight_.load(std::memory_order_relaxed));
  }

 protected:
  std::size_t frameBytes() const { return frameBytes_; }
  // Makes `frame` (width x height x 4 bytes) the current frame and the old
  // current one the previous frame; copies it to `copy` too unless null.
  void takeFrame(const std::uint8_t* frame, std::uint8_t* copy);

  const std::int32_t width_;
  const std::int32_t height_;
  const std::size_t frameBytes_;
  const detail::ChangeKernels& kernels_;
  // Touched only by the thread processing frames. Each holds the blue, green
  // and red planes of a frame, one after the other (rows 0, height, 2 x height).
  detail::PaddedRows previousFrame_;
  detail::PaddedRows currentFrame_;
  // Counts the frames taken, so that work done once per frame can tell.
  std::uint64_t frameNumber_ = 0;
  // False until the first frame arrives: that frame becomes its own
  // predecessor, so a scene is never "changed" against the black buffers.
  bool primed_ = false;

 private:
  static PictureSetting settingOf(std::uint32_t packed) {
    return {static_cast<std::uint8_t>(packed >> 24),
            {static_cast<std::uint8_t>(packed >> 16), static_cast<std::uint8_t>(packed >> 8),
             static_cast<std::uint8_t>(packed)}};
  }

  // Flag in bits 24..31, red 16..23, green 8..15, blue 0..7.
  std::atomic<std::uint32_t> fill_;
  std::atomic<std::uint32_t> highlight_;
};

}  // namespace tessary
