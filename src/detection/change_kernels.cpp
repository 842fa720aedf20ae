#include "detection/change_kernels.h"

namespace tessary::detail {

namespace {

bool processorHasAvx2() {
  // Checks the processor and that the system saves the wide registers.
  static const bool hasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("popcnt") != 0 &&
           __builtin_cpu_supports("bmi") != 0 && __builtin_cpu_supports("bmi2") != 0 &&
           __builtin_cpu_supports("lzcnt") != 0;
  }();
  return hasAvx2;
}

}  // namespace

bool isSupported(InstructionSet set) {
  return set == InstructionSet::kSse2 || (set == InstructionSet::kAvx2 && processorHasAvx2());
}

InstructionSet bestInstructionSet() {
  return processorHasAvx2() ? InstructionSet::kAvx2 : InstructionSet::kSse2;
}

const ChangeKernels& changeKernels(InstructionSet set) {
  if (set == InstructionSet::kAvx2 && processorHasAvx2()) return avx2ChangeKernels();
  return sse2ChangeKernels();
}

}  // namespace tessary::detail
