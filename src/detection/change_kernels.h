// The per-frame pixel work of detection, in one version per instruction set:
// splitting a camera frame into channel planes, scoring every pixel's
// confirmed change, and turning the scores into one bit per pixel for a level.
//
// Internal to detection. The AVX2 and AVX-512 versions are each compiled with
// their instructions enabled and chosen at run time only on processors that
// have them, so nothing outside the kernel sources may be compiled with wider
// instructions than the baseline.
#pragma once

#include <cstddef>
#include <cstdint>

#include "detection/detection_region.h"
#include "detection/detection_result.h"

namespace tessary::detail {

// Every plane row, score row and scratch row has this layout: kPlanePad bytes,
// the row's pixels (x = 0 starts kPlanePad bytes in, kVectorBytes-aligned),
// zeros up to the next multiple of kVectorBytes, then kPlanePad more bytes.
// Reads at x - 1 and at x + 1 past the last vector therefore stay inside the
// row, and every whole vector of a row lies on one cache line.
inline constexpr std::ptrdiff_t kVectorBytes = 64;  // the widest vector of any kernel
inline constexpr std::ptrdiff_t kPlanePad = kVectorBytes;

inline constexpr std::ptrdiff_t paddedRowBytes(std::int32_t width) {
  return kPlanePad + (std::ptrdiff_t{width} + kVectorBytes - 1) / kVectorBytes * kVectorBytes +
         kPlanePad;
}
// Level bits: whole vectors of bits, and 8 spare bytes, because a region
// reads 64 bits from any byte of a row.
inline constexpr std::ptrdiff_t bitRowBytes(std::int32_t width) {
  return (std::ptrdiff_t{width} + kVectorBytes - 1) / kVectorBytes * (kVectorBytes / 8) + 8;
}

// A score is, for each pixel, the largest value v such that the pixel counts
// at every level below v: a pixel counts at level L when its score is above L.
// For the neighbour rule the score is
//   min(change(current, previous), max over allowed neighbours n of change(current, n))
// where change(a, b) is the smallest of the three per-channel differences.
// Scores beyond the frame width are 0.
struct ScoreInputs {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::ptrdiff_t stride = 0;               // bytes between rows of every buffer below
  const std::uint8_t* current[3] = {};     // blue, green, red planes at (0, 0)
  const std::uint8_t* previous[3] = {};
  // Scratch rows of the neighbour rule, x = 0 of each (stride bytes apiece).
  // Two rows of: down, down-right (at x + 1), down-left pairs.
  std::uint8_t* below[2][3] = {};
  const std::uint8_t* zeros = nullptr;     // a row of zero scores
  const std::uint8_t* leftAllowed = nullptr;   // 0xFF where x > 1
  const std::uint8_t* rightAllowed = nullptr;  // 0xFF where x < width - 1
};

// One region's count over level bits: the window [xStart, xEnd) x [yStart,
// yEnd) lies on the frame. With a mask, the pixel (x, y) takes part when
// mask[(y - maskY) * maskStride + (x - maskX)] is not 0. With `paint`, every
// counted pixel of that picture (rows of paintStride bytes, 4 per pixel) gets
// bytes 2, 1, 0 = red, green, blue.
struct CountRequest {
  const std::uint8_t* bits = nullptr;
  std::ptrdiff_t bitStride = 0;
  std::int32_t xStart = 0;
  std::int32_t yStart = 0;
  std::int32_t xEnd = 0;
  std::int32_t yEnd = 0;
  const std::uint8_t* mask = nullptr;
  std::ptrdiff_t maskStride = 0;
  std::int32_t maskX = 0;
  std::int32_t maskY = 0;
  std::uint8_t* paint = nullptr;
  std::ptrdiff_t paintStride = 0;
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

// Regions to count from the bits of `level`, without painting: the leading
// ones of `regions` that have that level and no mask.
struct RegionBatch {
  const std::uint8_t* bits = nullptr;
  std::ptrdiff_t bitStride = 0;
  std::int32_t level = 0;
  std::int32_t frameWidth = 0;
  std::int32_t frameHeight = 0;
  DetectionRegion* const* regions = nullptr;
  const MaskView* masks = nullptr;
  std::size_t count = 0;
};

// How far a RegionBatch got.
struct BatchProgress {
  std::size_t counted = 0;        // regions counted, from the first on
  std::uint32_t lastCount = 0;    // the last one's count
};

struct ChangeKernels {
  // Splits width x height packed pixels (blue, green, red, unused; rows of
  // width x 4 bytes) into three planes whose rows are `stride` apart, and
  // copies them unchanged to `copy` unless it is null: the frame is read once.
  void (*splitChannels)(const std::uint8_t* packed, std::int32_t width, std::int32_t height,
                        std::ptrdiff_t stride, std::uint8_t* const planes[3],
                        std::uint8_t* copy);
  // Scores with neighbour confirmation, into `scores` (same layout as a plane).
  void (*neighbourScores)(const ScoreInputs& inputs, std::uint8_t* scores);
  // Scores without it: the change between the two frames alone.
  void (*plainScores)(const ScoreInputs& inputs, std::uint8_t* scores);
  // Bit x of each row (byte x / 8, bit x % 8) = score above `level`, for level
  // 0..254. Writes whole vectors of bits; bits beyond the width come out 0.
  void (*levelBits)(const std::uint8_t* scores, std::int32_t width, std::int32_t height,
                    std::ptrdiff_t stride, std::int32_t level, std::uint8_t* bits,
                    std::ptrdiff_t bitStride);
  // Writes the count and bounding box of the request's pixels to `result`,
  // or DetectionResult::reset() when there are none.
  void (*countRegion)(const CountRequest& request, DetectionResult& result);
  // For each region in turn while it has the batch's level and no mask: its
  // current result becomes its previous one, and the count and box of its
  // rectangle cut at the frame edges its current one.
  BatchProgress (*countRegions)(const RegionBatch& batch);
};

enum class InstructionSet : std::int32_t { kSse2, kAvx2, kAvx512 };

bool isSupported(InstructionSet set);
// AVX-512 (F, BW, VL and VBMI, with AVX2's set) when the processor and the
// system support it, else AVX2 (with POPCNT, LZCNT, BMI1 and BMI2) when they
// support that, else SSE2.
InstructionSet bestInstructionSet();
// The kernels of `set`, or the baseline ones when `set` is not supported here.
const ChangeKernels& changeKernels(InstructionSet set);

// Defined by the per-instruction-set sources.
const ChangeKernels& sse2ChangeKernels();
const ChangeKernels& avx2ChangeKernels();
const ChangeKernels& avx512ChangeKernels();

}  // namespace tessary::detail
