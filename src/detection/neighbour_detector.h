// Detection method 1, the one in use: a pixel counts when it changed in all
// three channels and also stands out from one of its neighbours in the new
// frame, so a uniformly brightened flat area counts nothing.
#pragma once

#include <cstdint>
#include <span>

#include "detection/counting_detector.h"

namespace tessary {

class NeighbourDetector final : public CountingDetector {
 public:
  NeighbourDetector(std::int32_t width, std::int32_t height,
                     detail::InstructionSet instructionSet = detail::bestInstructionSet())
      : CountingDetector(width, height, detail::ChangeScores::Rule::kNeighbour, instructionSet) {}

  void detect(DetectionResult& current, DetectionResult& previous, const DetectionRegion& region,
              MaskView mask) override;
  void detectEach(std::span<DetectionRegion* const> regions,
                  std::span<const MaskView> masks) override;

 private:
  // Out of the batch loop, which it would otherwise crowd.
  [[gnu::noinline]] void detectOne(DetectionRegion& region, MaskView mask);
};

}  // namespace tessary
