// Counting a small window from level bits without the POPCNT instruction
// (internal to detection): a grid cell takes one 64-bit read per row, and no
// call, so that many small regions cost little more than their rows.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "detection/change_scores.h"
#include "detection/detection_result.h"
#include "detection/scan_window.h"

namespace tessary::detail {

// A window on the frame at most this wide, and 64 high, is narrow.
inline constexpr std::int32_t kNarrowWidth = 56;

inline bool isNarrow(const ScanWindow& window) {
  return !window.empty() && window.xEnd - window.xStart <= kNarrowWidth &&
         window.yEnd - window.yStart <= 64;
}

// Set bits in 64 bits; the library routine would cost a call.
inline std::uint32_t bitCount(std::uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555u;
  bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<std::uint32_t>((bits * 0x0101010101010101u) >> 56);
}

// The count and box of a narrow window's bits (DetectionResult::reset() when
// none is set). A window of at most 64 pixels is gathered row after row into
// one word, counted once and boxed from it; a larger one is counted per row.
inline void countNarrow(const ChangeScores::Bits& bits, const ScanWindow& window,
                        DetectionResult& result) {
  const std::int32_t width = window.xEnd - window.xStart;
  const std::int32_t height = window.yEnd - window.yStart;
  const std::uint64_t keep = (std::uint64_t{1} << width) - 1;
  const std::int32_t shift = window.xStart % 8;
  const std::uint8_t* row = bits.data + window.yStart * bits.stride + window.xStart / 8;
  auto readRow = [&] {
    std::uint64_t word;
    std::memcpy(&word, row, sizeof word);
    row += bits.stride;
    return (word >> shift) & keep;
  };
  std::uint64_t columns = 0;
  if (width * height <= 64) {
    std::uint64_t gathered = 0;
    for (std::int32_t placed = 0; placed < width * height; placed += width) {
      const std::uint64_t word = readRow();
      gathered |= word << placed;
      columns |= word;
    }
    if (gathered == 0) {
      result = DetectionResult::reset();
      return;
    }
    result = {bitCount(gathered), window.xStart + std::countr_zero(columns),
              window.yStart + std::countr_zero(gathered) / width,
              window.xStart + 63 - std::countl_zero(columns),
              window.yStart + (63 - std::countl_zero(gathered)) / width};
    return;
  }
  std::uint32_t count = 0;
  std::uint64_t rows = 0;
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint64_t word = readRow();
    count += bitCount(word);
    columns |= word;
    rows |= std::uint64_t{word != 0} << y;
  }
  if (count == 0) {
    result = DetectionResult::reset();
    return;
  }
  result = {count, window.xStart + std::countr_zero(columns), window.yStart + std::countr_zero(rows),
            window.xStart + 63 - std::countl_zero(columns),
            window.yStart + 63 - std::countl_zero(rows)};
}

}  // namespace tessary::detail
