// The baseline kernels: SSE2, which every x86-64 processor has.
#include <emmintrin.h>

#include "detection/change_kernels_impl.h"

namespace tessary::detail {
namespace {

struct Sse2 {
  using V = __m128i;
  static constexpr std::int32_t kLanes = 16;

  static V load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
  static void store(std::uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<V*>(p), v); }
  static V min(V a, V b) { return _mm_min_epu8(a, b); }
  static V max(V a, V b) { return _mm_max_epu8(a, b); }
  static V bitAnd(V a, V b) { return _mm_and_si128(a, b); }
  static V absDiff(V a, V b) { return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a)); }
  static V splat(std::uint8_t value) { return _mm_set1_epi8(static_cast<char>(value)); }
  static std::uint32_t atLeast(V a, V b) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(a, b), a)));
  }
  static V shiftIn(V before, V v) {
    return _mm_or_si128(_mm_srli_si128(before, 15), _mm_slli_si128(v, 1));
  }

  // Without the POPCNT instruction; the compiler would call a library routine.
  static constexpr bool kFastPopcount = false;
  static std::int32_t popcount(std::uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555u;
    bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<std::int32_t>((bits * 0x0101010101010101u) >> 56);
  }

  static std::uint64_t narrowLanes(std::uint64_t low, std::uint64_t high) {
    const V lanes = _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(lanes, lanes)));
  }

  // Byte `Shift / 8` of each of 16 pixels held in four vectors.
  template <int Shift>
  static V channel(const V pixels[4]) {
    const V low = _mm_set1_epi32(0xFF);
    V words[4];
    for (int i = 0; i < 4; ++i) words[i] = _mm_and_si128(_mm_srli_epi32(pixels[i], Shift), low);
    return _mm_packus_epi16(_mm_packs_epi32(words[0], words[1]), _mm_packs_epi32(words[2], words[3]));
  }
  static void split(const std::uint8_t* packed, std::uint8_t* copy, V& blue, V& green, V& red) {
    const V pixels[4] = {load(packed), load(packed + 16), load(packed + 32), load(packed + 48)};
    if (copy != nullptr) {
      for (int i = 0; i < 4; ++i) store(copy + 16 * i, pixels[i]);
    }
    blue = channel<0>(pixels);
    green = channel<8>(pixels);
    red = channel<16>(pixels);
  }
};

}  // namespace

const ChangeKernels& sse2ChangeKernels() {
  static constexpr ChangeKernels kKernels = Kernels<Sse2>::table();
  return kKernels;
}

}  // namespace tessary::detail
