#include "detection/change_scores.h"

#include <algorithm>
#include <cstring>

namespace tessary::detail {

namespace {

enum ScratchRow : std::int32_t {
  kBelow = 0,  // six rows: two rows of three pairs
  kZeros = 6,
  kLeftAllowed = 7,
  kRightAllowed = 8,
  kScratchRows = 9,
};

}  // namespace

ChangeScores::ChangeScores(std::int32_t width, std::int32_t height, Rule rule,
                           const ChangeKernels& kernels)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      rule_(rule),
      kernels_(kernels),
      bitStride_(bitRowBytes(width_)),
      scores_(width_, height_),
      scratch_(width_, kScratchRows) {
  for (std::int32_t x = 0; x < width_; ++x) {
    // Column 1 never looks at column 0: "left" needs x > 1.
    scratch_.row(kLeftAllowed)[x] = x > 1 ? 0xFF : 0;
    scratch_.row(kRightAllowed)[x] = x < width_ - 1 ? 0xFF : 0;
  }
  for (LevelBits& level : levels_) {
    level.bytes.assign(static_cast<std::size_t>(bitStride_) * static_cast<std::size_t>(height_), 0);
  }
}

ChangeScores::Bits ChangeScores::findOrBuild(std::int32_t level, std::uint64_t frameNumber,
                                             const PaddedRows& current,
                                             const PaddedRows& previous) {
  if (scoredFrame_ != frameNumber) {
    score(current, previous);
    scoredFrame_ = frameNumber;
  }
  LevelBits* slot = nullptr;
  for (LevelBits& cached : levels_) {
    if (cached.frame == frameNumber && cached.level == level) {
      latest_ = &cached;
      return {cached.bytes.data(), bitStride_};
    }
    if (slot == nullptr && cached.frame != frameNumber) slot = &cached;
  }
  if (slot == nullptr) {
    slot = &levels_[nextEvicted_];
    nextEvicted_ = (nextEvicted_ + 1) % levels_.size();
  }
  fillBits(level, slot->bytes.data());
  slot->level = level;
  slot->frame = frameNumber;
  latest_ = slot;
  return {slot->bytes.data(), bitStride_};
}

void ChangeScores::score(const PaddedRows& current, const PaddedRows& previous) {
  if (width_ == 0 || height_ == 0) return;
  ScoreInputs inputs;
  inputs.width = width_;
  inputs.height = height_;
  inputs.stride = current.stride();
  for (std::int32_t channel = 0; channel < 3; ++channel) {
    inputs.current[channel] = current.row(channel * height_);
    inputs.previous[channel] = previous.row(channel * height_);
  }
  if (rule_ == Rule::kPlain) {
    kernels_.plainScores(inputs, scores_.row(0));
    return;
  }
  for (std::int32_t i = 0; i < 6; ++i) inputs.below[i / 3][i % 3] = scratch_.row(kBelow + i);
  inputs.zeros = scratch_.row(kZeros);
  inputs.leftAllowed = scratch_.row(kLeftAllowed);
  inputs.rightAllowed = scratch_.row(kRightAllowed);
  kernels_.neighbourScores(inputs, scores_.row(0));
}

void ChangeScores::fillBits(std::int32_t level, std::uint8_t* bytes) const {
  if (level >= 0 && level <= 254) {
    kernels_.levelBits(scores_.row(0), width_, height_, scores_.stride(), level, bytes, bitStride_);
    return;
  }
  // No difference exceeds 255. Every difference exceeds a negative level, so
  // a pixel then counts when the rule has anything to ask of it.
  std::memset(bytes, 0, static_cast<std::size_t>(bitStride_) * static_cast<std::size_t>(height_));
  if (level > 254) return;
  for (std::int32_t y = 0; y < height_; ++y) {
    for (std::int32_t x = 0; x < width_; ++x) {
      if (rule_ == Rule::kPlain || hasNeighbourToAsk(x, y)) {
        bytes[y * bitStride_ + x / 8] |= static_cast<std::uint8_t>(1u << (x % 8));
      }
    }
  }
}

bool ChangeScores::hasNeighbourToAsk(std::int32_t x, std::int32_t y) const {
  return y > 1 || x < width_ - 1 || y < height_ - 1 || x > 1;
}

}  // namespace tessary::detail
