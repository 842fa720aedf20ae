// Which pixels of the newest frame count, worked out once per frame for all
// regions (internal to detection).
//
// The first region evaluated after a frame has the kernels score every pixel;
// each level that regions use then gets one bit per pixel, built on first
// use and kept for the rest of the frame. Regions count from those bits, so a
// frame costs one pass over its pixels however many regions watch it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "detection/change_kernels.h"
#include "detection/padded_rows.h"

namespace tessary::detail {

class ChangeScores {
 public:
  enum class Rule {
    kNeighbour,  // changed, and confirmed by a neighbour in the new frame
    kPlain,      // changed
  };

  struct Bits {
    const std::uint8_t* data = nullptr;  // row y at data + y * stride; bit x in byte x / 8
    std::ptrdiff_t stride = 0;
  };

  ChangeScores(std::int32_t width, std::int32_t height, Rule rule, const ChangeKernels& kernels);

  // The counted pixels at `level` of frame `frameNumber`, whose planes are
  // `current` and `previous`. Valid until the next call with another frame
  // number or more levels than the cache holds.
  Bits bits(std::int32_t level, std::uint64_t frameNumber, const PaddedRows& current,
            const PaddedRows& previous) {
    if (latest_ != nullptr && latest_->frame == frameNumber && latest_->level == level) {
      return {latest_->bytes.data(), bitStride_};
    }
    return findOrBuild(level, frameNumber, current, previous);
  }

 private:
  // Zones mostly share one sensitivity; a few levels per frame stay cached.
  static constexpr std::size_t kCachedLevels = 4;
  static constexpr std::uint64_t kNoFrame = ~std::uint64_t{0};

  struct LevelBits {
    std::int32_t level = 0;
    std::uint64_t frame = kNoFrame;
    std::vector<std::uint8_t> bytes;
  };

  Bits findOrBuild(std::int32_t level, std::uint64_t frameNumber, const PaddedRows& current,
                   const PaddedRows& previous);
  void score(const PaddedRows& current, const PaddedRows& previous);
  void fillBits(std::int32_t level, std::uint8_t* bytes) const;
  bool hasNeighbourToAsk(std::int32_t x, std::int32_t y) const;

  const std::int32_t width_;
  const std::int32_t height_;
  const Rule rule_;
  const ChangeKernels& kernels_;
  const std::ptrdiff_t bitStride_;
  PaddedRows scores_;
  // below[2][3], zeros, leftAllowed, rightAllowed.
  PaddedRows scratch_;
  std::uint64_t scoredFrame_ = kNoFrame;
  std::array<LevelBits, kCachedLevels> levels_;
  std::size_t nextEvicted_ = 0;
  const LevelBits* latest_ = nullptr;  // the last one asked for
};

}  // namespace tessary::detail
