// The AVX2 kernels; this file alone is compiled with AVX2, POPCNT, LZCNT, BMI1
// and BMI2 enabled, and its table is used only on processors that have them all.
#include <immintrin.h>

#include "detection/change_kernels_impl.h"

namespace tessary::detail {
namespace {

struct Avx2 {
  using V = __m256i;
  static constexpr std::int32_t kLanes = 32;

  static V load(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const V*>(p));
  }
  static void store(std::uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
  static V min(V a, V b) { return _mm256_min_epu8(a, b); }
  static V max(V a, V b) { return _mm256_max_epu8(a, b); }
  static V bitAnd(V a, V b) { return _mm256_and_si256(a, b); }
  static V absDiff(V a, V b) {
    return _mm256_or_si256(_mm256_subs_epu8(a, b), _mm256_subs_epu8(b, a));
  }
  static V splat(std::uint8_t value) { return _mm256_set1_epi8(static_cast<char>(value)); }
  static std::uint32_t atLeast(V a, V b) {
    return static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(a, b), a)));
  }
  // Each 128-bit half of v after the byte before it: before's high half, then v's low half.
  static V shiftIn(V before, V v) {
    return _mm256_alignr_epi8(v, _mm256_permute2x128_si256(before, v, 0x21), 15);
  }

  static constexpr bool kFastPopcount = true;
  static std::int32_t popcount(std::uint64_t bits) { return __builtin_popcountll(bits); }

  // A pack rather than PEXT, which some processors with AVX2 run in microcode.
  static std::uint64_t narrowLanes(std::uint64_t low, std::uint64_t high) {
    const __m128i lanes = _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(lanes, lanes)));
  }

  // 32 pixels: each 128-bit half of the four loads is regrouped into four
  // blue, four green, four red and four unused bytes, the groups are gathered
  // across loads, and a final permutation puts them back in pixel order.
  static void split(const std::uint8_t* packed, std::uint8_t* copy, V& blue, V& green, V& red) {
    const V group = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8,
                                     12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const V order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    V v[4];
    for (int i = 0; i < 4; ++i) {
      const V pixels = load(packed + 32 * i);
      if (copy != nullptr) store(copy + 32 * i, pixels);
      v[i] = _mm256_shuffle_epi8(pixels, group);
    }
    const V blueGreen01 = _mm256_unpacklo_epi32(v[0], v[1]);
    const V red01 = _mm256_unpackhi_epi32(v[0], v[1]);
    const V blueGreen23 = _mm256_unpacklo_epi32(v[2], v[3]);
    const V red23 = _mm256_unpackhi_epi32(v[2], v[3]);
    blue = _mm256_permutevar8x32_epi32(_mm256_unpacklo_epi64(blueGreen01, blueGreen23), order);
    green = _mm256_permutevar8x32_epi32(_mm256_unpackhi_epi64(blueGreen01, blueGreen23), order);
    red = _mm256_permutevar8x32_epi32(_mm256_unpacklo_epi64(red01, red23), order);
  }
};

}  // namespace

const ChangeKernels& avx2ChangeKernels() {
  static constexpr ChangeKernels kKernels = Kernels<Avx2>::table();
  return kKernels;
}

}  // namespace tessary::detail
