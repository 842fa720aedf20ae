// What both detection methods share: every DetectionInterface slot but
// `detect`, answered from the frame history, the changed-pixel counter, and
// counting a region from the frame's change bits.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "detection/change_scores.h"
#include "detection/detection_interface.h"
#include "detection/motion_detector.h"
#include "detection/region_mask.h"
#include "detection/scan_window.h"

namespace tessary {

class CountingDetector : public MotionDetector, public DetectionInterface {
 public:
  bool processFrame(const std::uint8_t*& frame) override {
    return MotionDetector::processFrame(frame);
  }
  void resetCounter() override { counter_ = 0; }
  std::int32_t mode() const override { return FrameHistory::mode(); }
  std::int32_t nativeOrientation() const override { return FrameHistory::nativeOrientation(); }
  void transformRect(std::int32_t& x, std::int32_t& y, std::int32_t width,
                     std::int32_t height) const override;
  void transformRectBetween(std::int32_t a, std::int32_t b, std::int32_t& x, std::int32_t& y,
                            std::int32_t width, std::int32_t height, std::int32_t frameWidth,
                            std::int32_t frameHeight) const override;

  DetectionInterface& detectionInterface() override { return *this; }

  // Pixels counted since the last resetCounter (detection thread only).
  std::uint32_t counter() const { return counter_; }

 protected:
  CountingDetector(std::int32_t width, std::int32_t height, std::int32_t nativeOrientation,
                   detail::ChangeScores::Rule rule, detail::InstructionSet instructionSet);

  // False when `mask` does not fit the region (or the frame is empty): detect
  // then leaves both results alone.
  bool canScan(const DetectionRegion& region, const RegionMask* mask) const {
    return frameBytes() != 0 && (mask == nullptr || (mask->width() == region.width &&
                                                     mask->height() == region.height));
  }
  // Writes to `result` the pixels of the region on the frame that the rule
  // counts at the region's level, within the mask if there is one: their
  // number and bounding box (DetectionResult::reset() when there are none).
  // Paints them when highlighting and adds them to the counter.
  void countRegion(const DetectionRegion& region, const RegionMask* mask, DetectionResult& result) {
    // Inline for the common case, a grid cell without mask or highlighting:
    // with many small regions the calls around the count would cost more
    // than the count itself.
    const detail::ScanWindow window = detail::clipToFrame(region, width_, height_);
    if (mask == nullptr && isNarrow(window) && FrameHistory::highlight().flag == 0) {
      countNarrow(scores_.bits(region.level, frameNumber_, currentFrame_, previousFrame_), window,
                  result);
      counter_ += result.count;
      return;
    }
    countAnyRegion(region, window, mask, result);
  }

  // A window on the frame this narrow and short takes one 64-bit read per
  // row and one word for its rows.
  static bool isNarrow(const detail::ScanWindow& window) {
    return !window.empty() && window.xEnd - window.xStart <= 56 && window.yEnd - window.yStart <= 64;
  }

  // Set bits in 64 bits, without the POPCNT instruction that the baseline
  // lacks (the library routine would cost a call per row).
  static std::uint32_t bitCount(std::uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555u;
    bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<std::uint32_t>((bits * 0x0101010101010101u) >> 56);
  }

  // A grid cell of at most 64 pixels on the frame, gathered row after row
  // into one word: counted once, its box from the word and from all rows'
  // columns. False, touching nothing, for any other window.
  static bool countCell(const detail::ChangeScores::Bits& bits, const detail::ScanWindow& window,
                        DetectionResult& result) {
    const std::int32_t width = window.xEnd - window.xStart;
    const std::int32_t height = window.yEnd - window.yStart;
    if (width <= 0 || height <= 0 || width * height > 64) return false;
    const std::uint64_t keep = (std::uint64_t{1} << width) - 1;
    const std::int32_t shift = window.xStart % 8;
    const std::uint8_t* row = bits.data + window.yStart * bits.stride + window.xStart / 8;
    std::uint64_t gathered = 0;
    std::uint64_t columns = 0;
    for (std::int32_t placed = 0; placed < width * height; placed += width, row += bits.stride) {
      std::uint64_t word;
      std::memcpy(&word, row, sizeof word);
      word = (word >> shift) & keep;
      gathered |= word << placed;
      columns |= word;
    }
    if (gathered == 0) {
      result = DetectionResult::reset();
      return true;
    }
    result = {bitCount(gathered), window.xStart + std::countr_zero(columns),
              window.yStart + std::countr_zero(gathered) / width,
              window.xStart + 63 - std::countl_zero(columns),
              window.yStart + (63 - std::countl_zero(gathered)) / width};
    return true;
  }

  // One read per row, no branch per row, and the box from all rows at once.
  // A cell of at most 64 pixels is gathered into one word and counted once.
  // The window must be narrow.
  static void countNarrow(const detail::ChangeScores::Bits& bits, const detail::ScanWindow& window,
                          DetectionResult& result) {
    const std::int32_t width = window.xEnd - window.xStart;
    const std::int32_t height = window.yEnd - window.yStart;
    const std::uint64_t keep = (std::uint64_t{1} << width) - 1;
    const std::int32_t shift = window.xStart % 8;
    const std::uint8_t* const first = bits.data + window.yStart * bits.stride + window.xStart / 8;
    auto rowBits = [&](std::int32_t y) {
      std::uint64_t word;
      std::memcpy(&word, first + y * bits.stride, sizeof word);
      return (word >> shift) & keep;
    };
    std::uint32_t count = 0;
    std::uint64_t columns = 0;
    std::uint64_t rows = 0;
    if (width * height <= 64) {
      std::uint64_t gathered = 0;
      for (std::int32_t y = 0; y < height; ++y) {
        const std::uint64_t word = rowBits(y);
        gathered |= word << (y * width);
        columns |= word;
        rows |= std::uint64_t{word != 0} << y;
      }
      count = bitCount(gathered);
    } else {
      for (std::int32_t y = 0; y < height; ++y) {
        const std::uint64_t word = rowBits(y);
        count += bitCount(word);
        columns |= word;
        rows |= std::uint64_t{word != 0} << y;
      }
    }
    if (count == 0) {
      result = DetectionResult::reset();
      return;
    }
    result = {count, window.xStart + std::countr_zero(columns),
              window.yStart + std::countr_zero(rows), window.xStart + 63 - std::countl_zero(columns),
              window.yStart + 63 - std::countl_zero(rows)};
  }

  std::uint32_t counter_ = 0;
  detail::ChangeScores scores_;

 private:
  void countAnyRegion(const DetectionRegion& region, const detail::ScanWindow& window,
                      const RegionMask* mask, DetectionResult& result);
};

}  // namespace tessary
