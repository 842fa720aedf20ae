// Where the zone model reports hits: the reply sender implements it.
#pragma once

#include <cstdint>
#include <string_view>

namespace tessary {

class ZoneHitListener {
 public:
  // Called on the detection thread when the region of zone `zoneId` fires.
  // `zoneName` is the zone's name, valid for the duration of the call.
  virtual void onZoneHit(std::int32_t zoneId, std::string_view zoneName) = 0;
  // Called on the detection thread after each detection pass, hits or none:
  // the hits since the last call came from one frame.
  virtual void onDetectionPassEnd() {}

 protected:
  ~ZoneHitListener() = default;
};

}  // namespace tessary
