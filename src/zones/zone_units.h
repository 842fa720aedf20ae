// Small conversions shared by the zone and grid operations.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "zones/zone_record.h"

namespace tessary::zone_units {

// Truncates toward zero into the int32 range: out-of-range values saturate and
// NaN gives 0, where a plain conversion would be undefined.
inline std::int32_t truncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(value);
}

inline std::int32_t saturateToInt32(std::int64_t value) {
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

// A client value in frame pixels: times the axis' scale, truncated.
inline std::int32_t scaleToFrame(std::int32_t value, float scale) {
  return truncateToInt32(static_cast<double>(value) * static_cast<double>(scale));
}

// The name as it would be stored: up to an embedded NUL, at most 127
// characters. Lookups use it too, so a zone answers to the long name it was
// created with.
inline std::string_view storedName(std::string_view name) {
  if (const void* nul = std::memchr(name.data(), '\0', name.size())) {
    name = name.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - name.data()));
  }
  return name.substr(0, std::min(name.size(), ZoneName::kMaxLength));
}

// `base` followed by `suffix`, with `base` cut so that the whole suffix fits.
inline ZoneName withSuffix(std::string_view base, std::string_view suffix) {
  base = storedName(base);
  std::size_t room = suffix.size() < ZoneName::kMaxLength ? ZoneName::kMaxLength - suffix.size() : 0;
  ZoneName result(base.substr(0, std::min(base.size(), room)));
  result.append(suffix);
  return result;
}

}  // namespace tessary::zone_units
