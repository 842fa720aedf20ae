// A detector: the frame history plus the output picture handed on to display.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "detection/frame_history.h"

namespace tessary {

class DetectionInterface;

class MotionDetector : public FrameHistory {
 public:
  static constexpr std::int32_t kInitialDefaultLevel = 10;

  MotionDetector(std::int32_t width, std::int32_t height, detail::InstructionSet instructionSet);
  ~MotionDetector() override;

  // Keeps the frame as the current one (the old current becomes the previous
  // one) and replaces `frame` with the output picture: the fill colour when
  // filling, else the frame, copied when its counted pixels are to be
  // highlighted and handed on unchanged when not. `frame` must hold width x
  // height x 4 bytes. Returns false, touching nothing, when `frame` is null.
  // Fill and highlight settings take effect from the next frame on.
  bool processFrame(const std::uint8_t*& frame) override;

  // The detector's per-region side, to hand to region managers.
  virtual DetectionInterface& detectionInterface() = 0;

  // Stored for the capture channel to read back; detection never uses it.
  void setDefaultSensitivity(std::int32_t sensitivity);
  std::int32_t defaultLevel() const { return defaultLevel_.load(std::memory_order_relaxed); }

  // The picture handed on by processFrame (including highlighting); it may be
  // the frame given to processFrame itself, and then lives as long as that.
  const std::uint8_t* output() const { return picture_; }

 protected:
  // The highlight setting of the current frame, taken when it arrived.
  PictureSetting frameHighlight() const { return frameHighlight_; }
  // Where counted pixels are painted while frameHighlight() is set.
  std::uint8_t* highlightTarget() { return output_.data(); }

 private:
  std::vector<std::uint8_t> output_;
  const std::uint8_t* picture_ = nullptr;
  PictureSetting frameHighlight_;
  std::atomic<std::int32_t> defaultLevel_{kInitialDefaultLevel};
};

}  // namespace tessary
