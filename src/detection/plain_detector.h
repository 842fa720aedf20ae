// Detection method 0: a pixel counts when it changed by more than the level in
// all three channels, with no neighbour confirmation and no bounding box. Each
// evaluation starts both results from zero, so a hit never carries over.
#pragma once

#include <cstdint>
#include <span>

#include "detection/counting_detector.h"

namespace tessary {

class PlainDetector final : public CountingDetector {
 public:
  PlainDetector(std::int32_t width, std::int32_t height,
                 detail::InstructionSet instructionSet = detail::bestInstructionSet())
      : CountingDetector(width, height, detail::ChangeScores::Rule::kPlain, instructionSet) {}

  void detect(DetectionResult& current, DetectionResult& previous, const DetectionRegion& region,
              MaskView mask) override;
  void detectEach(std::span<DetectionRegion* const> regions,
                  std::span<const MaskView> masks) override;
};

}  // namespace tessary
