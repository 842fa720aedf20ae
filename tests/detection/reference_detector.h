// The detector as it was before the frame-wide change kernels: every pixel of
// a region tested in turn, straight from the packed frames, stopping at the
// first channel or neighbour that decides it. The tests hold the detectors to
// it pixel for pixel.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "detection/detection_interface.h"
#include "detection/scan_window.h"

namespace tessary::testing {

class ReferenceDetector final : public DetectionInterface {
 public:
  // `neighbourRule` false gives the plain method (no confirmation, no box).
  ReferenceDetector(int width, int height, bool neighbourRule)
      : width_(width),
        height_(height),
        neighbourRule_(neighbourRule),
        bytes_(static_cast<std::size_t>(width) * height * 4),
        previous_(bytes_),
        current_(bytes_),
        output_(bytes_) {}

  bool processFrame(const std::uint8_t*& frame) override {
    if (frame == nullptr || bytes_ == 0) return false;
    if (fillFlag_ != 0) {
      if (fill_[0] == 0 && fill_[1] == 0 && fill_[2] == 0) {
        std::fill(output_.begin(), output_.end(), 0);
      } else {
        // The unused fourth byte stays the frame's.
        std::memcpy(output_.data(), frame, bytes_);
        for (std::size_t i = 0; i < bytes_; i += 4) {
          output_[i + 2] = fill_[0];
          output_[i + 1] = fill_[1];
          output_[i] = fill_[2];
        }
      }
    } else {
      std::memcpy(output_.data(), frame, bytes_);
    }
    previous_.swap(current_);
    std::memcpy(current_.data(), frame, bytes_);
    if (!primed_) {
      std::memcpy(previous_.data(), frame, bytes_);
      primed_ = true;
    }
    frame = output_.data();
    return true;
  }

  void detect(DetectionResult& current, DetectionResult& previous, const DetectionRegion& region,
              MaskView mask) override {
    if (bytes_ == 0) return;
    if (!mask.empty() && (mask.width != region.width || mask.height != region.height)) return;
    if (neighbourRule_) {
      previous = current;
      current = DetectionResult::reset();
    } else {
      current = DetectionResult{};
      previous = DetectionResult{};
    }
    const detail::ScanWindow window = detail::clipToFrame(region, width_, height_);
    const std::uint8_t* maskBytes = mask.pixels;
    const std::ptrdiff_t stride = std::ptrdiff_t{width_} * 4;
    for (int y = window.yStart; y < window.yEnd; ++y) {
      for (int x = window.xStart; x < window.xEnd; ++x) {
        if (maskBytes != nullptr &&
            maskBytes[std::ptrdiff_t{y - region.y} * region.width + (x - region.x)] == 0) {
          continue;
        }
        const std::ptrdiff_t offset = y * stride + std::ptrdiff_t{x} * 4;
        const std::uint8_t* c = current_.data() + offset;
        if (!differs(c, previous_.data() + offset, region.level)) continue;
        if (neighbourRule_) {
          const bool up = y > 1, down = y < height_ - 1, left = x > 1, right = x < width_ - 1;
          const bool confirmed = (up && differs(c, c - stride, region.level)) ||
                                 (up && right && differs(c, c - stride + 4, region.level)) ||
                                 (right && differs(c, c + 4, region.level)) ||
                                 (down && right && differs(c, c + stride + 4, region.level)) ||
                                 (down && differs(c, c + stride, region.level)) ||
                                 (down && left && differs(c, c + stride - 4, region.level)) ||
                                 (left && differs(c, c - 4, region.level)) ||
                                 (up && left && differs(c, c - stride - 4, region.level));
          if (!confirmed) continue;
          if (x <= current.minX) current.minX = x;
          if (x >= current.maxX) current.maxX = x;
          if (y <= current.minY) current.minY = y;
          if (y >= current.maxY) current.maxY = y;
        }
        ++current.count;
        ++counter_;
        if (highlightFlag_ != 0) {
          output_[offset + 2] = highlight_[0];
          output_[offset + 1] = highlight_[1];
          output_[offset] = highlight_[2];
        }
      }
    }
  }

  void resetCounter() override { counter_ = 0; }
  void setFill(std::uint8_t flag, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    fillFlag_ = flag;
    fill_[0] = red, fill_[1] = green, fill_[2] = blue;
  }
  void setHighlight(std::uint8_t flag, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    highlightFlag_ = flag;
    highlight_[0] = red, highlight_[1] = green, highlight_[2] = blue;
  }
  const std::vector<std::uint8_t>& output() const { return output_; }
  std::uint32_t counter() const { return counter_; }

 private:
  static bool differs(const std::uint8_t* a, const std::uint8_t* b, int level) {
    for (int k = 0; k < 3; ++k) {
      if ((a[k] > b[k] ? a[k] - b[k] : b[k] - a[k]) <= level) return false;
    }
    return true;
  }

  int width_, height_;
  bool neighbourRule_;
  std::size_t bytes_;
  std::vector<std::uint8_t> previous_, current_, output_;
  bool primed_ = false;
  std::uint8_t fillFlag_ = 0, highlightFlag_ = 0;
  std::uint8_t fill_[3] = {0, 0, 0};
  std::uint8_t highlight_[3] = {255, 255, 255};
  std::uint32_t counter_ = 0;
};

}  // namespace tessary::testing
