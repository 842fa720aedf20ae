#include "capture/frame_scaler.h"

#include <algorithm>

#include "common/frame.h"

namespace tessary {
namespace {

constexpr std::int64_t kOne = 4096;  // a frame pixel's shares along one axis

std::int32_t bytesPerPixel(ScalerPixels pixels) {
  switch (pixels) {
    case ScalerPixels::kBgrx: return 4;
    case ScalerPixels::kBgr: return 3;
    case ScalerPixels::kYuyv: return 2;
  }
  return 4;
}

std::uint8_t clampByte(std::int32_t value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

// BT.601 studio range to full-range blue, green, red.
void yuyvRowToBgr(const std::uint8_t* row, std::int32_t width, std::uint8_t* out) {
  for (std::int32_t x = 0; x < width; x += 2, row += 4) {
    const std::int32_t d = row[1] - 128;
    const std::int32_t e = row[3] - 128;
    for (int half = 0; half < 2; ++half, out += 3) {
      const std::int32_t c = 298 * (row[half * 2] - 16) + 128;
      out[0] = clampByte((c + 516 * d) >> 8);
      out[1] = clampByte((c - 100 * d - 208 * e) >> 8);
      out[2] = clampByte((c + 409 * e) >> 8);
    }
  }
}

}  // namespace

FrameScaler::Taps FrameScaler::taps(std::int32_t source, std::int32_t target) {
  Taps result;
  result.starts.reserve(static_cast<std::size_t>(target) + 1);
  // Positions in 1/target ths of a source pixel keep every boundary exact.
  const std::int64_t pixel = target;
  for (std::int32_t index = 0; index < target; ++index) {
    result.starts.push_back(static_cast<std::uint32_t>(result.taps.size()));
    const std::int64_t start = std::int64_t{source} * index;
    const std::int64_t end = std::int64_t{source} * (index + 1);
    const std::int64_t length = end - start;
    std::int64_t given = 0;
    for (std::int64_t x = start / pixel; x * pixel < end; ++x) {
      const std::int64_t overlap = std::min(end, (x + 1) * pixel) - std::max(start, x * pixel);
      // Shares rounded so that they add up to kOne: each takes what its
      // running total rounds to, less what the ones before took.
      const std::int64_t reached = std::max(start, x * pixel) + overlap - start;
      const std::int64_t share = (reached * kOne + length / 2) / length - given;
      given += share;
      if (share > 0) result.taps.push_back({static_cast<std::int32_t>(x), static_cast<std::uint32_t>(share)});
    }
  }
  result.starts.push_back(static_cast<std::uint32_t>(result.taps.size()));
  return result;
}

bool FrameScaler::configure(const ScalerInput& input) {
  configured_ = false;
  if (input.width < 1 || input.height < 1) return false;
  if (input.pixels == ScalerPixels::kYuyv && input.width % 2 != 0) return false;
  const std::int32_t packed = input.width * bytesPerPixel(input.pixels);
  if (input.rowBytes != 0 && input.rowBytes < packed) return false;
  input_ = input;
  if (input_.rowBytes == 0) input_.rowBytes = packed;
  columns_ = taps(input.width, kFrameWidth);
  rows_ = taps(input.height, kFrameHeight);
  bgrRow_.assign(input.pixels == ScalerPixels::kYuyv ? static_cast<std::size_t>(input.width) * 3 : 0, 0);
  columnSums_.assign(std::size_t{kFrameWidth} * 3, 0);
  accumulated_.assign(std::size_t{kFrameWidth} * 3, 0);
  configured_ = true;
  return true;
}

std::size_t FrameScaler::pictureBytes() const {
  if (!configured_) return 0;
  return static_cast<std::size_t>(input_.rowBytes) * static_cast<std::size_t>(input_.height - 1) +
         static_cast<std::size_t>(input_.width) * static_cast<std::size_t>(bytesPerPixel(input_.pixels));
}

template <int kBytesPerPixel>
void FrameScaler::reduceRow(const std::uint8_t* row) {
  const Tap* tap = columns_.taps.data();
  std::uint32_t* out = columnSums_.data();
  for (std::int32_t column = 0; column < kFrameWidth; ++column, out += 3) {
    const Tap* end = columns_.taps.data() + columns_.starts[static_cast<std::size_t>(column) + 1];
    std::uint32_t blue = 0, green = 0, red = 0;
    for (; tap != end; ++tap) {
      const std::uint8_t* pixel = row + static_cast<std::ptrdiff_t>(tap->index) * kBytesPerPixel;
      blue += tap->weight * pixel[0];
      green += tap->weight * pixel[1];
      red += tap->weight * pixel[2];
    }
    out[0] = blue;
    out[1] = green;
    out[2] = red;
  }
}

bool FrameScaler::scale(std::span<const std::uint8_t> picture, std::span<std::uint8_t> frame) {
  if (!configured_ || picture.size() < pictureBytes() || frame.size() != kFrameBytes) return false;
  std::int32_t reducedRow = -1;  // the source row columnSums_ holds
  for (std::int32_t outRow = 0; outRow < kFrameHeight; ++outRow) {
    std::fill(accumulated_.begin(), accumulated_.end(), 0);
    const std::uint32_t first = rows_.starts[static_cast<std::size_t>(outRow)];
    const std::uint32_t last = rows_.starts[static_cast<std::size_t>(outRow) + 1];
    for (std::uint32_t tap = first; tap < last; ++tap) {
      const std::int32_t y = rows_.taps[tap].index;
      // A source row on the boundary of two frame rows is reduced once.
      if (y != reducedRow) {
        const std::int32_t memoryRow = input_.bottomUp ? input_.height - 1 - y : y;
        const std::uint8_t* row =
            picture.data() + static_cast<std::size_t>(memoryRow) * static_cast<std::size_t>(input_.rowBytes);
        switch (input_.pixels) {
          case ScalerPixels::kBgrx: reduceRow<4>(row); break;
          case ScalerPixels::kBgr: reduceRow<3>(row); break;
          case ScalerPixels::kYuyv:
            yuyvRowToBgr(row, input_.width, bgrRow_.data());
            reduceRow<3>(bgrRow_.data());
            break;
        }
        reducedRow = y;
      }
      const std::uint32_t weight = rows_.taps[tap].weight;
      for (std::size_t i = 0; i < accumulated_.size(); ++i) accumulated_[i] += weight * columnSums_[i];
    }
    std::uint8_t* out = frame.data() + static_cast<std::size_t>(outRow) * kFrameStride;
    const std::uint32_t* sums = accumulated_.data();
    for (std::int32_t column = 0; column < kFrameWidth; ++column, out += 4, sums += 3) {
      constexpr std::uint32_t kHalf = 1u << 23;  // shares are 4096 x 4096 = 2^24 in all
      out[0] = static_cast<std::uint8_t>((sums[0] + kHalf) >> 24);
      out[1] = static_cast<std::uint8_t>((sums[1] + kHalf) >> 24);
      out[2] = static_cast<std::uint8_t>((sums[2] + kHalf) >> 24);
      out[3] = 0;
    }
  }
  return true;
}

}  // namespace tessary
