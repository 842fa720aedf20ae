// The names under which each zone's hits are reported, by zone id: the one
// piece of the zone table the channel threads read. The main thread writes
// it alongside its own records; a pass reads it under the same lock.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/thread_annotations.h"
#include "zones/zone_event_sink.h"
#include "zones/zone_record.h"

namespace tessary {

class ZoneHitNames {
 public:
  // Zone `zoneId` reports its hits under `name` from now on.
  void report(std::int32_t zoneId, const ZoneName& name);
  // Zone `zoneId` reports no hits any more (deleted, or its slot reused).
  void silence(std::int32_t zoneId);
  void clear();

  // A pass: the fired ids that report hits, in order, with their names
  // copied into `names` and `hits` pointing at those copies. `names` and
  // `hits` belong to the calling thread; they grow as needed.
  void collect(std::span<const std::int32_t> fired, std::vector<ZoneName>& names,
               std::vector<ZoneHit>& hits) const;

 private:
  struct Entry {
    ZoneName name;
    bool reports = false;
  };
  mutable Mutex mutex_;  // a leaf: nothing is called while it is held
  std::vector<Entry> entries_ TESSARY_GUARDED_BY(mutex_);
};

}  // namespace tessary
