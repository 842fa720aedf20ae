#include "detection/detection_region.h"

#include <algorithm>

namespace tessary {

namespace {
// (45 - 1) / 100 held as a float; the product with it is formed in double, so
// levels come out as 43, 39, 21, 8 and 0 for 0, 10, 50, 80 and 100.
constexpr float kLevelPerSensitivity = static_cast<float>((45.0 - 1.0) / 100.0);
}  // namespace

std::int32_t levelForSensitivity(std::int32_t sensitivity) {
  const std::int32_t clamped = std::clamp(sensitivity, 0, 100);
  return static_cast<std::int32_t>((100 - clamped) * static_cast<double>(kLevelPerSensitivity));
}

std::uint32_t thresholdPercentFor(std::int32_t threshold) {
  const auto asUnsigned = static_cast<std::uint32_t>(threshold);
  return asUnsigned < 100u ? asUnsigned : 100u;
}

std::uint32_t requiredCountFor(std::int64_t area, std::uint32_t thresholdPercent) {
  if (area <= 0) return 0;
  const double percent = std::min(thresholdPercent, 100u);
  const double required = static_cast<double>(static_cast<float>(area)) / 100.0 * percent;
  // The area of any region fits in 32 bits once cut to a sane size; saturate
  // rather than convert an out-of-range value.
  if (required >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(required);
}

}  // namespace tessary
