#include "zones/zone_hit_names.h"

namespace tessary {

void ZoneHitNames::report(std::int32_t zoneId, const ZoneName& name) {
  if (zoneId < 0) return;
  const auto index = static_cast<std::size_t>(zoneId);
  MutexLock lock(mutex_);
  if (index >= entries_.size()) entries_.resize(index + 1);
  entries_[index] = Entry{name, true};
}

void ZoneHitNames::silence(std::int32_t zoneId) {
  MutexLock lock(mutex_);
  if (zoneId >= 0 && static_cast<std::size_t>(zoneId) < entries_.size()) {
    entries_[static_cast<std::size_t>(zoneId)].reports = false;
  }
}

void ZoneHitNames::clear() {
  MutexLock lock(mutex_);
  entries_.clear();
}

void ZoneHitNames::collect(std::span<const std::int32_t> fired, std::vector<ZoneName>& names,
                           std::vector<ZoneHit>& hits) const {
  hits.clear();
  if (names.size() < fired.size()) names.resize(fired.size());
  {
    MutexLock lock(mutex_);
    for (const std::int32_t zoneId : fired) {
      if (zoneId < 0 || static_cast<std::size_t>(zoneId) >= entries_.size()) continue;
      const Entry& entry = entries_[static_cast<std::size_t>(zoneId)];
      if (!entry.reports) continue;
      names[hits.size()] = entry.name;
      hits.push_back(ZoneHit{zoneId, {}});
    }
  }
  // Names point into the caller's own copies, which no other thread touches.
  for (std::size_t i = 0; i < hits.size(); ++i) hits[i].name = names[i].view();
}

}  // namespace tessary
