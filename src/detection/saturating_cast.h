// Conversions of coordinates that saturate rather than overflow (internal to
// detection).
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tessary::detail {

inline std::int32_t saturateToInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// Truncates toward zero; out-of-range and NaN values saturate instead of
// being undefined.
inline std::int32_t truncateToInt32(double value) {
  if (!(value == value)) return 0;
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

}  // namespace tessary::detail
