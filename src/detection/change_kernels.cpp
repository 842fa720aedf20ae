#include "detection/change_kernels.h"

#include <cpuid.h>

namespace tessary::detail {

namespace {

// libgcc's answers also check that the system saves the registers each set
// needs (the YMM state for AVX2; the mask, ZMM and upper ZMM states for
// AVX-512), so a set reported here can be used.
struct Processor {
  bool avx2 = false;
  bool avx512 = false;
};

// LZCNT has no name that every compiler's __builtin_cpu_supports knows.
bool hasLzcnt() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(0x80000001, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_LZCNT) != 0;
}

const Processor& processor() {
  static const Processor found = [] {
    __builtin_cpu_init();
    Processor result;
    result.avx2 = __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("popcnt") != 0 &&
                  __builtin_cpu_supports("bmi") != 0 && __builtin_cpu_supports("bmi2") != 0 &&
                  hasLzcnt();
    result.avx512 = result.avx2 && __builtin_cpu_supports("avx512f") != 0 &&
                    __builtin_cpu_supports("avx512bw") != 0 &&
                    __builtin_cpu_supports("avx512vl") != 0 &&
                    __builtin_cpu_supports("avx512vbmi") != 0;
    return result;
  }();
  return found;
}

}  // namespace

bool isSupported(InstructionSet set) {
  switch (set) {
    case InstructionSet::kSse2:
      return true;
    case InstructionSet::kAvx2:
      return processor().avx2;
    case InstructionSet::kAvx512:
      return processor().avx512;
  }
  return false;
}

InstructionSet bestInstructionSet() {
  if (processor().avx512) return InstructionSet::kAvx512;
  if (processor().avx2) return InstructionSet::kAvx2;
  return InstructionSet::kSse2;
}

const ChangeKernels& changeKernels(InstructionSet set) {
  if (!isSupported(set)) return sse2ChangeKernels();
  switch (set) {
    case InstructionSet::kAvx512:
      return avx512ChangeKernels();
    case InstructionSet::kAvx2:
      return avx2ChangeKernels();
    case InstructionSet::kSse2:
      break;
  }
  return sse2ChangeKernels();
}

}  // namespace tessary::detail
