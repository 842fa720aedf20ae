#include "link/setup_view.h"

#include <cstdio>

#include "common/frame.h"
#include "display/viewer_picture.h"

namespace tessary {
namespace {

const char* stateWord(const VideoController::ZoneView& zone) {
  if (zone.record.pauseRemaining > 0) return "paused";
  return zone.active ? "active" : "inactive";
}

const char* clientWord(ClientKind kind) {
  switch (kind) {
    case ClientKind::kTcp: return "tcp";
    case ClientKind::kWeb: return "websocket";
    case ClientKind::kFile: return "file";
    case ClientKind::kNone: break;
  }
  return "none";
}

void appendNumber(std::string& out, long long value) { out += std::to_string(value); }

}  // namespace

HitTally::HitTally() {
  MutexLock lock(mutex_);
  counts_.reserve(256);
}

void HitTally::onZoneEvents(const ZoneEventBatch& batch) {
  MutexLock lock(mutex_);
  for (const ZoneHit& hit : batch.hits) {
    if (hit.zoneId < 0 || hit.zoneId >= kMaxCountedZones) continue;
    const auto index = static_cast<std::size_t>(hit.zoneId);
    if (index >= counts_.size()) counts_.resize(index + 1, 0);
    ++counts_[index];
  }
}

std::uint32_t HitTally::hits(std::int32_t zoneId) const {
  MutexLock lock(mutex_);
  const auto index = static_cast<std::size_t>(zoneId);
  return zoneId >= 0 && index < counts_.size() ? counts_[index] : 0;
}

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

std::string SetupView::stateJson(const SetupClientState& client) const {
  // The display's Mirror and Flip turn the picture away from the zones.
  const Orientation turn =
      pictures_.currentPicture().turn.relativeTo(controller_.picture().orientation());
  std::string out = "{\"frame\":[";
  appendNumber(out, kFrameWidth);
  out += ',';
  appendNumber(out, kFrameHeight);
  out += "],\"client\":";
  out += jsonString(clientWord(client.kind));
  out += ",\"loggedIn\":";
  out += client.loggedIn ? "true" : "false";
  out += ",\"zones\":[";
  bool first = true;
  for (const VideoController::ZoneView& zone : controller_.zoneViews()) {
    // Where the zone lies in the picture as drawn now.
    const std::int64_t x = turn.turnedLeft(zone.frameX, zone.frameWidth, kFrameWidth);
    const std::int64_t y = turn.turnedTop(zone.frameY, zone.frameHeight, kFrameHeight);
    if (!first) out += ',';
    first = false;
    out += "{\"id\":";
    appendNumber(out, zone.id);
    out += ",\"name\":";
    out += jsonString(zone.record.name.view());
    out += ",\"x\":";
    appendNumber(out, x);
    out += ",\"y\":";
    appendNumber(out, y);
    out += ",\"w\":";
    appendNumber(out, zone.frameWidth);
    out += ",\"h\":";
    appendNumber(out, zone.frameHeight);
    out += ",\"client\":[";
    appendNumber(out, zone.record.x);
    out += ',';
    appendNumber(out, zone.record.y);
    out += ',';
    appendNumber(out, zone.record.width);
    out += ',';
    appendNumber(out, zone.record.height);
    out += "],\"hits\":";
    appendNumber(out, hits_.hits(zone.id));
    out += ",\"motion\":";
    appendNumber(out, zone.motionAmount);
    out += ",\"state\":";
    out += jsonString(stateWord(zone));
    out += '}';
  }
  out += "]}";
  return out;
}

std::shared_ptr<const SetupUpdate> SetupView::makeUpdate(const SetupClientState& client) {
  auto update = std::make_shared<SetupUpdate>();
  const std::uint64_t frame = controller_.picture().processedFrames();
  if (frame != lastFrame_) {
    lastFrame_ = frame;
    update->picture.resize(kViewerPictureBytes);
    encodeViewerPicture(pictures_.currentPicture(), update->picture);
  }
  update->state = stateJson(client);
  return update;
}

}  // namespace tessary
