// The zone and grid queries the reply sender needs from the zone server.
//
// Texts are copied by the caller before the next call of the same query, so an
// implementation may hand out views into buffers it reuses.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessary {

class ZoneQueries {
 public:
  // Slots of the current region manager, free ones included.
  virtual std::int32_t zoneCount() = 0;
  virtual std::string_view zoneName(std::int32_t zoneId) = 0;
  virtual bool zoneActive(std::int32_t zoneId) = 0;
  // Percentage of the zone's pixels that changed on the last frame.
  virtual std::int32_t zoneMotionAmount(std::int32_t zoneId) = 0;
  // "Created - (15,15)-(31,23)" and the like; nothing when the name is no zone.
  virtual std::optional<std::string_view> zoneStatusText(std::string_view name) = 0;
  // The two description forms; "illegal zone ID" when the name is no zone.
  virtual std::string_view zoneAttributesText(std::string_view name) = 0;
  virtual std::string_view zoneSummaryText(std::string_view name) = 0;
  // The grid's status word; nothing when the name is no grid.
  virtual std::optional<std::string_view> gridStatusText(std::string_view name) = 0;

 protected:
  ~ZoneQueries() = default;
};

}  // namespace tessary
