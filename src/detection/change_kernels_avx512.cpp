// The AVX-512 kernels; this file alone is compiled with AVX-512 F, BW, VL and
// VBMI besides AVX2, POPCNT, LZCNT, BMI1 and BMI2, and its table is used only
// on processors that have them all.
#include <immintrin.h>

#include "detection/change_kernels_impl.h"

namespace tessary::detail {
namespace {

// Byte indices into two vectors of 16 pixels each (bit 6 picks the second):
// byte `first` of all 32 pixels, then byte `second` of all 32.
struct ByteIndices {
  alignas(64) std::uint8_t of[64] = {};
};
constexpr ByteIndices channelPair(int first, int second) {
  ByteIndices indices;
  for (int pixel = 0; pixel < 32; ++pixel) {
    indices.of[pixel] = static_cast<std::uint8_t>(pixel * 4 + first);
    indices.of[32 + pixel] = static_cast<std::uint8_t>(pixel * 4 + second);
  }
  return indices;
}
constexpr ByteIndices kBlueGreen = channelPair(0, 1);
constexpr ByteIndices kRed = channelPair(2, 2);

// Byte i - 1 of the first vector for i > 0, and the last byte of the second.
constexpr ByteIndices shiftedIn() {
  ByteIndices indices;
  indices.of[0] = 64 + 63;
  for (int lane = 1; lane < 64; ++lane) indices.of[lane] = static_cast<std::uint8_t>(lane - 1);
  return indices;
}
constexpr ByteIndices kShiftIn = shiftedIn();

struct Avx512 {
  using V = __m512i;
  static constexpr std::int32_t kLanes = 64;
  // For the zero-masking forms of instructions that keep every lane: the same
  // instructions as the plain forms, whose intrinsics trip GCC 12's
  // uninitialised-use warning inside its own header.
  static constexpr __mmask8 kAllQuadwords = 0xFF;

  static V load(const std::uint8_t* p) { return _mm512_loadu_si512(p); }
  static void store(std::uint8_t* p, V v) { _mm512_storeu_si512(p, v); }
  static V min(V a, V b) { return _mm512_min_epu8(a, b); }
  static V max(V a, V b) { return _mm512_max_epu8(a, b); }
  static V bitAnd(V a, V b) { return _mm512_and_si512(a, b); }
  static V absDiff(V a, V b) {
    return _mm512_or_si512(_mm512_subs_epu8(a, b), _mm512_subs_epu8(b, a));
  }
  static V splat(std::uint8_t value) { return _mm512_set1_epi8(static_cast<char>(value)); }
  static std::uint64_t atLeast(V a, V b) { return _mm512_cmpge_epu8_mask(a, b); }
  static V shiftIn(V before, V v) {
    return _mm512_permutex2var_epi8(v, _mm512_load_si512(kShiftIn.of), before);
  }

  static constexpr bool kFastPopcount = true;
  static std::int32_t popcount(std::uint64_t bits) { return __builtin_popcountll(bits); }

  static std::uint64_t narrowLanes(std::uint64_t low, std::uint64_t high) {
    const __m128i lanes = _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(lanes, lanes)));
  }

  // 64 pixels in four vectors: one two-source byte permutation per pair of
  // vectors gives [blue | green] of its 32 pixels and another their red; the
  // 256-bit halves of the two pairs are then put side by side.
  static void splitLoaded(const V pixels[4], V& blue, V& green, V& red) {
    const V blueGreen = _mm512_load_si512(kBlueGreen.of);
    const V redTwice = _mm512_load_si512(kRed.of);
    const V blueGreenLow = _mm512_permutex2var_epi8(pixels[0], blueGreen, pixels[1]);
    const V blueGreenHigh = _mm512_permutex2var_epi8(pixels[2], blueGreen, pixels[3]);
    const V redLow = _mm512_permutex2var_epi8(pixels[0], redTwice, pixels[1]);
    const V redHigh = _mm512_permutex2var_epi8(pixels[2], redTwice, pixels[3]);
    constexpr int kLowHalves = _MM_SHUFFLE(1, 0, 1, 0);
    constexpr int kHighHalves = _MM_SHUFFLE(3, 2, 3, 2);
    blue = _mm512_maskz_shuffle_i64x2(kAllQuadwords, blueGreenLow, blueGreenHigh, kLowHalves);
    green = _mm512_maskz_shuffle_i64x2(kAllQuadwords, blueGreenLow, blueGreenHigh, kHighHalves);
    red = _mm512_maskz_shuffle_i64x2(kAllQuadwords, redLow, redHigh, kLowHalves);
  }

  // The packed frame and its copy have no alignment of their own, and a
  // 64-byte access across two cache lines costs more than two 32-byte ones
  // (one of them across the line) and joining the halves, so whole vectors
  // of pixels move in halves.
  static void split(const std::uint8_t* packed, std::uint8_t* copy, V& blue, V& green, V& red) {
    V pixels[4];
    for (int i = 0; i < 4; ++i) {
      const auto* source = reinterpret_cast<const __m256i*>(packed + 64 * i);
      const __m256i low = _mm256_loadu_si256(source);
      const __m256i high = _mm256_loadu_si256(source + 1);
      if (copy != nullptr) {
        auto* target = reinterpret_cast<__m256i*>(copy + 64 * i);
        _mm256_storeu_si256(target, low);
        _mm256_storeu_si256(target + 1, high);
      }
      pixels[i] = _mm512_maskz_inserti64x4(kAllQuadwords, _mm512_castsi256_si512(low), high, 1);
    }
    splitLoaded(pixels, blue, green, red);
  }

  // A row's last `count` (1..63) pixels: masked loads and stores touch no
  // byte beyond them (a masked-off byte is never read, so the load cannot
  // fault past the frame's end) and the missing pixels read as 0. Measured,
  // whole masked vectors beat masked halves here.
  static void splitTail(const std::uint8_t* packed, std::uint8_t* copy, std::int32_t count,
                        V& blue, V& green, V& red) {
    V pixels[4];
    for (int i = 0; i < 4; ++i) {
      const std::int32_t left = count * 4 - 64 * i;
      const auto bytes = static_cast<unsigned>(left < 0 ? 0 : (left > 64 ? 64 : left));
      if (bytes == 0) {  // wholly past the end: not even its address is formed
        pixels[i] = _mm512_setzero_si512();
        continue;
      }
      const __mmask64 mask = _bzhi_u64(~std::uint64_t{0}, bytes);
      pixels[i] = _mm512_maskz_loadu_epi8(mask, packed + 64 * i);
      if (copy != nullptr) _mm512_mask_storeu_epi8(copy + 64 * i, mask, pixels[i]);
    }
    splitLoaded(pixels, blue, green, red);
  }
};

}  // namespace

const ChangeKernels& avx512ChangeKernels() {
  static constexpr ChangeKernels kKernels = Kernels<Avx512>::table();
  return kKernels;
}

}  // namespace tessary::detail
