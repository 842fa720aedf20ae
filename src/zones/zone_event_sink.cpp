#include "zones/zone_event_sink.h"

#include <algorithm>

namespace tessary {

bool ZoneEventFanOut::add(ZoneEventSink& sink) {
  MutexLock lock(mutex_);
  const auto end = sinks_.begin() + static_cast<std::ptrdiff_t>(count_);
  if (count_ == kMaxSinks || std::find(sinks_.begin(), end, &sink) != end) return false;
  sinks_[count_++] = &sink;
  return true;
}

void ZoneEventFanOut::remove(ZoneEventSink& sink) {
  MutexLock lock(mutex_);
  const auto end = sinks_.begin() + static_cast<std::ptrdiff_t>(count_);
  const auto found = std::find(sinks_.begin(), end, &sink);
  if (found == end) return;
  std::copy(found + 1, end, found);
  sinks_[--count_] = nullptr;
}

void ZoneEventFanOut::deliver(const ZoneEventBatch& batch) const {
  std::array<ZoneEventSink*, kMaxSinks> sinks{};
  std::size_t count = 0;
  {
    MutexLock lock(mutex_);
    sinks = sinks_;
    count = count_;
  }
  for (std::size_t i = 0; i < count; ++i) sinks[i]->onZoneEvents(batch);
}

}  // namespace tessary
