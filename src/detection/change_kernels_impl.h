// The change kernels written once over a small vector interface `Simd`:
//   V, kLanes (bytes per vector), load, store, min, max, bitAnd, absDiff,
//   splat, atLeast (one bit per byte lane, set where a >= b), shiftIn (v's
//   lanes one lane up, lane 0 taking the last lane of the vector before v),
//   split (kLanes packed pixels, also copied when asked, to their blue,
//   green and red bytes), popcount and kFastPopcount (whether popcount is one
//   instruction), narrowLanes (two words of four 16-bit lanes, each below
//   256, to the eight bytes of one word, the first word's lanes first).
// Optionally splitTail: like split, for the last 1..kLanes - 1 pixels of a
// row, reading and copying no byte beyond them and giving 0 in the lanes
// after them; without it those pixels are split one at a time.
//
// Included only by the per-instruction-set sources, each with its own Simd
// type in an unnamed namespace: every instantiation then has internal
// linkage, so the linker can never let a copy of a function compiled with
// wider instructions stand in for its baseline twin. Keep calls out of this
// file to anything but Simd and the built-ins for the same reason.
#pragma once

#include <cstddef>
#include <cstdint>

#include "detection/change_kernels.h"

namespace tessary::detail {
namespace {

template <class Simd>
struct Kernels {
  using V = typename Simd::V;
  static constexpr std::int32_t kLanes = Simd::kLanes;

  static void load3(const std::uint8_t* const planes[3], std::ptrdiff_t offset, V out[3]) {
    for (int channel = 0; channel < 3; ++channel) out[channel] = Simd::load(planes[channel] + offset);
  }

  // The smallest of the three per-channel differences of two pixels: the pair
  // differs in all three channels by more than L exactly when this is above L.
  static V change(const V a[3], const V b[3]) {
    return Simd::min(Simd::min(Simd::absDiff(a[0], b[0]), Simd::absDiff(a[1], b[1])),
                     Simd::absDiff(a[2], b[2]));
  }

  static void splitChannels(const std::uint8_t* packed, std::int32_t width, std::int32_t height,
                            std::ptrdiff_t stride, std::uint8_t* const planes[3],
                            std::uint8_t* copy) {
    if (copy != nullptr) {
      splitRows<true>(packed, width, height, stride, planes, copy);
    } else {
      splitRows<false>(packed, width, height, stride, planes, copy);
    }
  }

  template <bool kCopy>
  static void splitRows(const std::uint8_t* packed, std::int32_t width, std::int32_t height,
                        std::ptrdiff_t stride, std::uint8_t* const planes[3], std::uint8_t* copy) {
    // Where the whole vectors end, the same on every row, so that whatever
    // the tail step works out from it is worked out once.
    const std::int32_t wholeWidth = width - width % kLanes;
    for (std::int32_t y = 0; y < height; ++y) {
      const std::ptrdiff_t rowStart = std::ptrdiff_t{y} * width * 4;
      const std::uint8_t* source = packed + rowStart;
      std::uint8_t* target = kCopy ? copy + rowStart : nullptr;
      std::uint8_t* blue = planes[0] + y * stride;
      std::uint8_t* green = planes[1] + y * stride;
      std::uint8_t* red = planes[2] + y * stride;
      std::int32_t x = 0;
      for (; x < wholeWidth; x += kLanes) {
        V b, g, r;
        Simd::split(source + std::ptrdiff_t{x} * 4, kCopy ? target + std::ptrdiff_t{x} * 4 : nullptr,
                    b, g, r);
        Simd::store(blue + x, b);
        Simd::store(green + x, g);
        Simd::store(red + x, r);
      }
      if constexpr (requires { &Simd::splitTail; }) {
        // The lanes after the width come out 0, as the planes hold there.
        if (wholeWidth < width) {
          V b, g, r;
          Simd::splitTail(source + std::ptrdiff_t{x} * 4,
                          kCopy ? target + std::ptrdiff_t{x} * 4 : nullptr, width - wholeWidth, b,
                          g, r);
          Simd::store(blue + x, b);
          Simd::store(green + x, g);
          Simd::store(red + x, r);
        }
      } else {
        for (; x < width; ++x) {
          blue[x] = source[x * 4];
          green[x] = source[x * 4 + 1];
          red[x] = source[x * 4 + 2];
          if constexpr (kCopy) __builtin_memcpy(target + x * 4, source + x * 4, 4);
        }
      }
    }
  }

  // Each neighbour pair is scored once and shared by both of its pixels: at
  // every vector, each pixel is scored against its right, down and
  // down-right neighbours and its right neighbour against its down one. A
  // pixel's pairs with its left neighbours are those of the pixel before it:
  // the previous vector's last lane comes in from a register. Its pairs with
  // the row above were stored by that row, the down-right ones one column on,
  // so that every value stored here is read back whole, at the offset it was
  // stored at (a load straddling two recent stores waits for both to reach
  // the cache). A neighbour that the rule does not look at reads as 0 (zero
  // vectors, the zero row, or the column masks), which can never raise the
  // maximum above the change.
  static void neighbourScores(const ScoreInputs& in, std::uint8_t* scores) {
    // Everything in locals: the stores below could alias `in` otherwise.
    const std::int32_t width = in.width;
    const std::int32_t height = in.height;
    const std::ptrdiff_t stride = in.stride;
    const std::uint8_t* const current[3] = {in.current[0], in.current[1], in.current[2]};
    const std::uint8_t* const previous[3] = {in.previous[0], in.previous[1], in.previous[2]};
    const std::uint8_t* const zeros = in.zeros;
    const std::uint8_t* const leftAllowed = in.leftAllowed;
    const std::uint8_t* const rightAllowed = in.rightAllowed;
    const V none = Simd::splat(0);
    for (std::int32_t y = 0; y < height; ++y) {
      const std::ptrdiff_t row = y * stride;
      std::uint8_t* const* down = in.below[y & 1];
      std::uint8_t* const downStraightOut = down[0];
      std::uint8_t* const downRightOut = down[1];  // at x + 1
      std::uint8_t* const downLeftOut = down[2];
      const std::uint8_t* const* up = in.below[(y + 1) & 1];
      // Row 1 never looks at row 0: "up" needs y > 1.
      const bool hasDown = y < height - 1;
      const bool hasUp = y > 1;
      const std::uint8_t* const upStraight = hasUp ? up[0] : zeros;
      const std::uint8_t* const upLeft = hasUp ? up[1] : zeros;
      const std::uint8_t* const upRight = hasUp ? up[2] : zeros;

      // The last lane of each: the pixel before x.
      V leftPairsBefore = none;
      V downRightBefore = none;
      for (std::int32_t x = 0; x < width; x += kLanes) {
        V here[3], right[3];
        load3(current, row + x, here);
        load3(current, row + x + 1, right);
        const V across = change(here, right);
        V downStraight = none, downRight = none, downLeft = none;
        if (hasDown) {
          V below[3], belowRight[3];
          load3(current, row + stride + x, below);
          load3(current, row + stride + x + 1, belowRight);
          downStraight = change(here, below);
          downRight = change(here, belowRight);
          downLeft = change(right, below);
          Simd::store(downStraightOut + x, downStraight);
          Simd::store(downRightOut + x, Simd::shiftIn(downRightBefore, downRight));
          Simd::store(downLeftOut + x, downLeft);
          downRightBefore = downRight;
        }
        // Lane i: pixel i + 1's pairs with its left and down-left neighbours,
        // brought to their pixel by shifting in one lane.
        const V leftPairs = Simd::max(across, downLeft);
        V before[3];
        load3(previous, row + x, before);
        const V moved = change(here, before);
        const V rightSide = Simd::bitAnd(
            Simd::max(Simd::max(across, downRight), Simd::load(upRight + x)),
            Simd::load(rightAllowed + x));
        const V leftSide = Simd::bitAnd(
            Simd::max(Simd::shiftIn(leftPairsBefore, leftPairs), Simd::load(upLeft + x)),
            Simd::load(leftAllowed + x));
        const V straight = Simd::max(downStraight, Simd::load(upStraight + x));
        Simd::store(scores + row + x,
                    Simd::min(moved, Simd::max(Simd::max(rightSide, leftSide), straight)));
        leftPairsBefore = leftPairs;
      }
    }
  }

  static void plainScores(const ScoreInputs& in, std::uint8_t* scores) {
    for (std::int32_t y = 0; y < in.height; ++y) {
      const std::ptrdiff_t row = y * in.stride;
      for (std::int32_t x = 0; x < in.width; x += kLanes) {
        V here[3], before[3];
        load3(in.current, row + x, here);
        load3(in.previous, row + x, before);
        Simd::store(scores + row + x, change(here, before));
      }
    }
  }

  static void levelBits(const std::uint8_t* scores, std::int32_t width, std::int32_t height,
                        std::ptrdiff_t stride, std::int32_t level, std::uint8_t* bits,
                        std::ptrdiff_t bitStride) {
    const V threshold = Simd::splat(static_cast<std::uint8_t>(level + 1));
    for (std::int32_t y = 0; y < height; ++y) {
      const std::uint8_t* source = scores + y * stride;
      std::uint8_t* target = bits + y * bitStride;
      for (std::int32_t x = 0; x < width; x += kLanes) {
        const auto mask = Simd::atLeast(Simd::load(source + x), threshold);
        __builtin_memcpy(target + x / 8, &mask, kLanes / 8);  // little-endian: bit x is byte x / 8
      }
    }
  }

  // Bits read at once: 64 less the shift that brings bit x to bit 0, kept a
  // multiple of 8 so that every read after the first has the same shift.
  static constexpr std::int32_t kBitsPerRead = 56;
  static constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;

  static std::uint64_t maskBits(const std::uint8_t* mask, std::int32_t count) {
    std::uint64_t bits = 0;
    for (std::int32_t i = 0; i < count; ++i) bits |= std::uint64_t{mask[i] != 0} << i;
    return bits;
  }

  static std::uint64_t readBits(const std::uint8_t* row, std::int32_t x, std::int32_t width) {
    std::uint64_t word;
    __builtin_memcpy(&word, row + x / 8, sizeof word);
    return (word >> (x % 8)) & ((std::uint64_t{1} << width) - 1);
  }

  // The counted pixels of a piece of a window at most kBitsPerRead columns
  // wide and 64 rows high: one read per row, and no branch on the pixels.
  struct Piece {
    std::uint32_t count = 0;
    std::uint64_t columns = 0;  // bit i: column x + i has a counted pixel
    std::uint64_t rows = 0;     // bit i: row y + i has a counted pixel
  };

  static Piece countPiece(const std::uint8_t* bits, std::ptrdiff_t bitStride, std::int32_t x,
                          std::int32_t y, std::int32_t width, std::int32_t height) {
    const std::uint8_t* row = bits + y * bitStride;
    Piece piece;
    if constexpr (Simd::kFastPopcount) {
      for (std::int32_t i = 0; i < height; ++i, row += bitStride) {
        const std::uint64_t word = readBits(row, x, width);
        piece.count += static_cast<std::uint32_t>(Simd::popcount(word));
        piece.columns |= word;
        piece.rows |= std::uint64_t{word != 0} << i;
      }
    } else {
      // Rows are gathered into one word until it is full and counted at once.
      std::uint64_t gathered = 0;
      std::int32_t placed = 0;
      for (std::int32_t i = 0; i < height; ++i, row += bitStride) {
        const std::uint64_t word = readBits(row, x, width);
        piece.columns |= word;
        piece.rows |= std::uint64_t{word != 0} << i;
        if (placed + width > 64) {
          piece.count += static_cast<std::uint32_t>(Simd::popcount(gathered));
          gathered = 0;
          placed = 0;
        }
        gathered |= word << placed;
        placed += width;
      }
      piece.count += static_cast<std::uint32_t>(Simd::popcount(gathered));
    }
    return piece;
  }

  static std::int32_t firstBit(std::uint64_t bits) { return __builtin_ctzll(bits | kTopBit); }
  static std::int32_t lastBit(std::uint64_t bits) { return 63 - __builtin_clzll(bits | 1); }

  // Any window without mask or painting, in pieces of one read per row; a
  // window of up to kBitsPerRead x 64 pixels is one piece. Out of line, so
  // that the loops counting cells keep their registers.
  [[gnu::noinline]] static void countPlain(const std::uint8_t* bits, std::ptrdiff_t bitStride,
                                           std::int32_t xStart, std::int32_t yStart,
                                           std::int32_t xEnd, std::int32_t yEnd,
                                           DetectionResult& out) {
    if (xEnd - xStart <= kBitsPerRead && yEnd - yStart <= 64) {
      const Piece piece = countPiece(bits, bitStride, xStart, yStart, xEnd - xStart, yEnd - yStart);
      store(piece.count, xStart + firstBit(piece.columns), yStart + firstBit(piece.rows),
            xStart + lastBit(piece.columns), yStart + lastBit(piece.rows), out);
      return;
    }
    std::uint32_t count = 0;
    std::int32_t minX = xEnd;
    std::int32_t maxX = -1;
    std::int32_t minY = yEnd;
    std::int32_t maxY = -1;
    for (std::int32_t x = xStart; x < xEnd; x += kBitsPerRead) {
      const std::int32_t width = xEnd - x < kBitsPerRead ? xEnd - x : kBitsPerRead;
      std::uint64_t columns = 0;
      for (std::int32_t y = yStart; y < yEnd; y += 64) {
        const Piece piece = countPiece(bits, bitStride, x, y, width, yEnd - y < 64 ? yEnd - y : 64);
        count += piece.count;
        columns |= piece.columns;
        const std::int32_t top = y + firstBit(piece.rows);
        const std::int32_t bottom = piece.rows != 0 ? y + lastBit(piece.rows) : -1;
        minY = top < minY ? top : minY;
        maxY = bottom > maxY ? bottom : maxY;
      }
      const std::int32_t left = x + firstBit(columns);
      const std::int32_t right = columns != 0 ? x + lastBit(columns) : -1;
      minX = left < minX ? left : minX;
      maxX = right > maxX ? right : maxX;
    }
    store(count, minX, minY, maxX, maxY, out);
  }

  static void countRegion(const CountRequest& in, DetectionResult& out) {
    if (in.mask == nullptr && in.paint == nullptr) {
      countPlain(in.bits, in.bitStride, in.xStart, in.yStart, in.xEnd, in.yEnd, out);
      return;
    }
    std::uint32_t count = 0;
    std::int32_t minX = in.xEnd;
    std::int32_t maxX = -1;
    std::int32_t minY = -1;
    std::int32_t maxY = -1;
    for (std::int32_t y = in.yStart; y < in.yEnd; ++y) {
      const std::uint8_t* row = in.bits + y * in.bitStride;
      bool rowCounted = false;
      for (std::int32_t x = in.xStart; x < in.xEnd; x += kBitsPerRead) {
        const std::int32_t width = in.xEnd - x < kBitsPerRead ? in.xEnd - x : kBitsPerRead;
        std::uint64_t word = readBits(row, x, width);
        if (in.mask != nullptr) {
          word &= maskBits(in.mask + (y - in.maskY) * in.maskStride + (x - in.maskX), width);
        }
        if (word == 0) continue;
        rowCounted = true;
        count += static_cast<std::uint32_t>(Simd::popcount(word));
        const std::int32_t first = x + __builtin_ctzll(word);
        const std::int32_t last = x + 63 - __builtin_clzll(word);
        if (first < minX) minX = first;
        if (last > maxX) maxX = last;
        if (in.paint != nullptr) {
          for (std::uint64_t rest = word; rest != 0; rest &= rest - 1) {
            std::uint8_t* pixel = in.paint + y * in.paintStride +
                                  std::ptrdiff_t{x + __builtin_ctzll(rest)} * 4;
            pixel[2] = in.red;
            pixel[1] = in.green;
            pixel[0] = in.blue;
          }
        }
      }
      if (rowCounted) {
        if (minY < 0) minY = y;
        maxY = y;
      }
    }
    store(count, minX, minY, maxX, maxY, out);
  }

  static BatchProgress countRegions(const RegionBatch& in) {
    // Everything in locals: the results written below could alias `in`.
    const std::uint8_t* const bits = in.bits;
    const std::ptrdiff_t bitStride = in.bitStride;
    const std::int32_t level = in.level;
    const std::int32_t frameWidth = in.frameWidth;
    const std::int32_t frameHeight = in.frameHeight;
    DetectionRegion* const* const regions = in.regions;
    const MaskView* const masks = in.masks;
    const std::size_t count = in.count;
    std::size_t counted = 0;
    while (counted < count) {
      DetectionRegion& region = *regions[counted];
      if (region.level != level || !masks[counted].empty()) break;
      const CellRow row{bits, bitStride, level, frameWidth, regions, masks, count};
      switch (isInnerCell(region, frameWidth, frameHeight) ? region.height : 0) {
        case 1: counted = countCellRow<1>(row, counted); break;
        case 2: counted = countCellRow<2>(row, counted); break;
        case 3: counted = countCellRow<3>(row, counted); break;
        case 4: counted = countCellRow<4>(row, counted); break;
        case 5: counted = countCellRow<5>(row, counted); break;
        case 6: counted = countCellRow<6>(row, counted); break;
        case 7: counted = countCellRow<7>(row, counted); break;
        case 8: counted = countCellRow<8>(row, counted); break;
        default:
          region.previous = region.current;
          countCut(bits, bitStride, region.x, region.y, region.width, region.height, frameWidth,
                   frameHeight, region.current);
          ++counted;
      }
    }
    // Aggregate initialisation: no constructor of a type outside this file.
    return {counted, counted != 0 ? regions[counted - 1]->current.count : 0u};
  }

  // A fine grid's cell: at most 8 x 8 pixels and wholly on the frame, the
  // common case, which needs no cutting.
  static bool isInnerCell(const DetectionRegion& region, std::int32_t frameWidth,
                          std::int32_t frameHeight) {
    // Unsigned, so that an empty or negative size fails with a large one.
    return static_cast<std::uint32_t>(region.width) - 1u < 8u &&
           static_cast<std::uint32_t>(region.height) - 1u < 8u && region.x >= 0 &&
           region.y >= 0 && region.x <= frameWidth - region.width &&
           region.y <= frameHeight - region.height;
  }

  // What a row of side-by-side cells shares.
  struct CellRow {
    const std::uint8_t* bits;
    std::ptrdiff_t bitStride;
    std::int32_t level;
    std::int32_t frameWidth;
    DetectionRegion* const* regions;
    const MaskView* masks;
    std::size_t count;
  };

  // Counts regions[index], an inner cell of kHeight rows, and those after it
  // that continue its row of cells: the same level, rows and width, no mask,
  // each starting where the one before ends (or, in a mirrored picture,
  // ending where it starts), still on the frame. A grid's row is one such
  // run, so the checks and the row addresses are worked out once for the run
  // rather than once a cell. Returns the index after the run.
  template <std::int32_t kHeight>
  static std::size_t countCellRow(const CellRow& in, std::size_t index) {
    const DetectionRegion& lead = *in.regions[index];
    const std::int32_t y = lead.y;
    const std::int32_t width = lead.width;
    const std::int32_t lastX = in.frameWidth - width;  // the last start still on the frame
    const std::uint8_t* const rows = in.bits + y * in.bitStride;
    const std::uint64_t lanes = ((std::uint64_t{1} << width) - 1) * 0x0001000100010001u;
    std::int32_t x = lead.x;
    std::int32_t step = 0;  // the second cell tells: width, or -width
    for (;;) {
      DetectionRegion& region = *in.regions[index];
      region.previous = region.current;
      countInnerCell<kHeight>(rows, in.bitStride, x, y, lanes, region.current);
      if (++index == in.count) break;
      const DetectionRegion& next = *in.regions[index];
      if (step == 0) step = next.x < x ? -width : width;
      x += step;
      // Unsigned: a start left of the frame fails like one past lastX.
      if (next.x != x || next.y != y || next.width != width || next.height != kHeight ||
          next.level != in.level || !in.masks[index].empty() ||
          static_cast<std::uint32_t>(x) > static_cast<std::uint32_t>(lastX)) {
        break;
      }
    }
    return index;
  }

  // A cell row spans at most two bytes: rows 0..3 are read into the 16-bit
  // lanes of one word and rows 4..7 of another, and all lanes are brought to
  // bit x at once. Up to four rows the lanes are counted and scanned as they
  // stand; taller cells are narrowed first so that row i is byte i of one
  // word. One count then gives the pixels, two bit scans the rows, and the
  // rows ORed together the columns, with no branch on the pixels.
  template <std::int32_t kHeight>
  static void countInnerCell(const std::uint8_t* rows, std::ptrdiff_t bitStride, std::int32_t x,
                             std::int32_t y, std::uint64_t lanes, DetectionResult& out) {
    const std::uint8_t* row = rows + (x >> 3);
    const std::uint32_t shift = static_cast<std::uint32_t>(x) & 7;
    constexpr std::int32_t kLowRows = kHeight < 4 ? kHeight : 4;
    std::uint64_t low = 0;
    for (std::int32_t i = 0; i < kLowRows; ++i) {
      low |= readPair(row + i * bitStride) << (16 * i);
    }
    low = (low >> shift) & lanes;
    std::uint64_t cell = low;
    constexpr std::int32_t kRowBits = kHeight <= 4 ? 16 : 8;
    if constexpr (kHeight > 4) {
      std::uint64_t high = 0;
      for (std::int32_t i = 4; i < kHeight; ++i) {
        high |= readPair(row + i * bitStride) << (16 * (i - 4));
      }
      cell = Simd::narrowLanes(low, (high >> shift) & lanes);
    }
    std::uint32_t columns = static_cast<std::uint32_t>(cell | (cell >> 32));
    columns |= columns >> 16;
    if constexpr (kHeight > 4) columns |= columns >> 8;
    columns &= 0xFF;
    store(static_cast<std::uint32_t>(Simd::popcount(cell)), x + firstBit(columns),
          y + firstBit(cell) / kRowBits, x + lastBit(columns), y + lastBit(cell) / kRowBits, out);
  }

  static std::uint64_t readPair(const std::uint8_t* bytes) {
    std::uint16_t pair;
    __builtin_memcpy(&pair, bytes, sizeof pair);
    return pair;
  }

  // Any other region without a mask: cut at every frame edge first. Out of
  // line, so that the loop over cells keeps its registers.
  [[gnu::noinline]] static void countCut(const std::uint8_t* bits, std::ptrdiff_t bitStride,
                                         std::int32_t x, std::int32_t y, std::int32_t width,
                                         std::int32_t height, std::int64_t frameWidth,
                                         std::int64_t frameHeight, DetectionResult& out) {
    // No library call here (see the top of the file).
    const std::int64_t right = std::int64_t{x} + width;
    const std::int64_t bottom = std::int64_t{y} + height;
    const std::int32_t xStart = x > 0 ? x : 0;
    const std::int32_t yStart = y > 0 ? y : 0;
    const auto xEnd = static_cast<std::int32_t>(right < frameWidth ? right : frameWidth);
    const auto yEnd = static_cast<std::int32_t>(bottom < frameHeight ? bottom : frameHeight);
    if (xStart >= xEnd || yStart >= yEnd) {
      store(0, 0, 0, 0, 0, out);
    } else {
      countPlain(bits, bitStride, xStart, yStart, xEnd, yEnd, out);
    }
  }

  // Field by field: DetectionResult's own members are not for this file.
  static void store(std::uint32_t count, std::int32_t minX, std::int32_t minY, std::int32_t maxX,
                    std::int32_t maxY, DetectionResult& out) {
    out.count = count;
    out.minX = count != 0 ? minX : DetectionResult::kResetMin;
    out.minY = count != 0 ? minY : DetectionResult::kResetMin;
    out.maxX = count != 0 ? maxX : 0;
    out.maxY = count != 0 ? maxY : 0;
  }

  static constexpr ChangeKernels table() {
    return {&splitChannels, &neighbourScores, &plainScores, &levelBits, &countRegion, &countRegions};
  }
};

}  // namespace
}  // namespace tessary::detail
