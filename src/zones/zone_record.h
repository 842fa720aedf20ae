// The zone and grid records kept by the VideoController, and the status words
// that the replies show for them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/fixed_text.h"

namespace tessary {

// Zone and grid names travel in 128-byte protocol fields: at most 127
// characters are kept, longer names are cut.
inline constexpr std::size_t kZoneNameCapacity = 128;
using ZoneName = FixedText<kZoneNameCapacity>;

// The last change made to a zone. Informative only: nothing branches on it,
// the description texts show its word.
enum class ZoneStatus : std::int32_t {
  kCreated = 0,
  kMoved = 1,
  kDeleted = 2,
  kResized = 3,
  kReady = 4,  // never set; the word exists for clients that know it
  kMovedResized = 5,
  kInvalid = 6,  // paused
  kResumed = 7,  // its word is empty
};

// The words clients see, indexed by status value. The eighth is empty.
inline constexpr std::array<std::string_view, 8> kZoneStatusNames = {
    "Created", "Moved", "Deleted", "Resized", "Ready", "MovedResized", "Invalid", ""};

// Grids have a table of their own holding the first six words.
inline constexpr std::size_t kGridStatusNameCount = 6;

// The zone word of `status`; empty for a value outside the table.
constexpr std::string_view zoneStatusName(ZoneStatus status) {
  auto index = static_cast<std::size_t>(static_cast<std::int32_t>(status));
  return index < kZoneStatusNames.size() ? kZoneStatusNames[index] : std::string_view();
}

// The grid word of `status`; empty for a value outside the six-entry table.
constexpr std::string_view gridStatusName(ZoneStatus status) {
  auto index = static_cast<std::size_t>(static_cast<std::int32_t>(status));
  return index < kGridStatusNameCount ? kZoneStatusNames[index] : std::string_view();
}

// One zone slot. Positions and sizes are in client units as last requested,
// not clamped; sensitivity and threshold as last set, unchanged.
struct ZoneRecord {
  ZoneName name;
  ZoneStatus status = ZoneStatus::kCreated;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t sensitivity = 0;
  std::int32_t threshold = 0;
  std::uint32_t pauseRemaining = 0;  // milliseconds; 0 = not paused
};

// One grid: a rectangle cut into columns x rows cells, each an ordinary zone.
struct GridRecord {
  ZoneName name;
  ZoneStatus status = ZoneStatus::kCreated;  // only kCreated or kDeleted
  std::vector<std::string> cellNames;        // the cell zones, row-major creation order
  std::int32_t x = 0;  // as given, not clamped
  std::int32_t y = 0;
  std::int32_t width = 0;  // after cutting to whole cells; later as set
  std::int32_t height = 0;
  std::int32_t columns = 0;
  std::int32_t rows = 0;
};

}  // namespace tessary
