#include "link/reply_sender.h"

#include "link/message_text.h"

namespace tessary {

namespace {

// Zone texts are copied out of the zone server before the lock is taken.
using NameCopy = FixedText<128>;
using DescriptionCopy = FixedText<256>;

DescriptionCopy statusTextOrRefused(std::optional<std::string_view> text) {
  if (!text || text->empty()) return DescriptionCopy(kRefusedStatusText);
  DescriptionCopy copy;
  // A zone status text is "<word> - (x,y)-(w,h)"; an empty word leaves " - ".
  if (text->starts_with(" - ")) copy.assign(kResumedStatusWord);
  copy.append(*text);
  return copy;
}

std::string_view trueFalse(bool on) { return on ? "true" : "false"; }

}  // namespace

ReplySender::ReplySender(MessageSink& link, ZoneQueries& zones, DisplayState& display,
                         OverlayControl& overlay)
    : link_(link), zones_(zones), display_(display), overlay_(overlay) {
  batch_.reserve(4096);
  reset();
}

void ReplySender::reset() {
  {
    std::lock_guard lock(mutex_);
    dataType_ = DataType::kXml;
  }
  // Normally nobody is connected at this moment and the message is lost.
  sendMotionStatus(true);
  {
    std::lock_guard lock(mutex_);
    reducedMotion_ = true;
    statusMask_ = kStatusMaskAfterReset;
  }
  display_.watchedWindow = 0;
  display_.overlayMirror = false;
  display_.overlayFlip = false;
  display_.renderArea = display_.wholeScreen();
  display_.watchBorders = WatchBorders{};
  overlay_.overlayUpdatePosition();
}

void ReplySender::selectXml() {
  std::lock_guard lock(mutex_);
  dataType_ = DataType::kXml;
}

void ReplySender::selectScript() {
  std::lock_guard lock(mutex_);
  dataType_ = DataType::kScript;
}

DataType ReplySender::dataType() const {
  std::lock_guard lock(mutex_);
  return dataType_;
}

void ReplySender::setReducedMotion(bool reduced) {
  std::lock_guard lock(mutex_);
  reducedMotion_ = reduced;
}

bool ReplySender::reducedMotion() const {
  std::lock_guard lock(mutex_);
  return reducedMotion_;
}

bool ReplySender::hitEventsOn() const { return (statusMask() & kStatusHit) != 0; }

std::uint16_t ReplySender::statusMask() const {
  std::lock_guard lock(mutex_);
  return statusMask_;
}

void ReplySender::setStatusBits(std::uint16_t bits) {
  std::lock_guard lock(mutex_);
  statusMask_ = static_cast<std::uint16_t>(statusMask_ | bits);
}

void ReplySender::clearStatusBits(std::uint16_t bits) {
  std::lock_guard lock(mutex_);
  statusMask_ = static_cast<std::uint16_t>(statusMask_ & ~bits);
}

void ReplySender::sendTextLocked() { link_.send(text_.view()); }

void ReplySender::motionPass() {
  if ((statusMask() & kStatusMotion) == 0) return;
  const std::int32_t count = zones_.zoneCount();
  for (std::int32_t id = 0; id < count; ++id) {
    if (!zones_.zoneActive(id)) continue;
    const std::int32_t amount = zones_.zoneMotionAmount(id);
    if (amount <= 0) continue;
    const NameCopy name(zones_.zoneName(id));
    sendMotion(name.view(), amount);
  }
}

void ReplySender::endOutputTick() {
  for (EventOutput* output : outputs_) output->endTick();
}

void ReplySender::onZoneEvents(const ZoneEventBatch& batch) {
  std::lock_guard lock(mutex_);
  if ((statusMask_ & kStatusHit) == 0 || batch.hits.empty()) return;
  batch_.clear();
  for (const ZoneHit& hit : batch.hits) {
    composeHitLocked(hit.name);
    batch_.append(text_.view());
    batch_.push_back('\0');
  }
  link_.sendBatch(batch_);
}

void ReplySender::composeHitLocked(std::string_view zoneName) {
  if (dataType_ == DataType::kXml) {
    composeMessage(text_.buffer(), {literal("<hit name=\""), value(zoneName), literal("\">")});
  } else {
    composeMessage(text_.buffer(), {value(zoneName), literal(".hit();")});
  }
}

void ReplySender::hitByZoneIndex(std::int32_t zoneId) {
  if ((statusMask() & kStatusHit) == 0) return;
  const NameCopy name(zones_.zoneName(zoneId));
  sendHit(name.view());
}

void ReplySender::sendHit(std::string_view zoneName) {
  std::lock_guard lock(mutex_);
  if ((statusMask_ & kStatusHit) == 0) return;
  composeHitLocked(zoneName);
  sendTextLocked();
}

void ReplySender::sendMotion(std::string_view zoneName, std::int32_t amount) {
  const DecimalText number(amount);
  {
    std::lock_guard lock(mutex_);
    if ((statusMask_ & kStatusMotion) == 0) return;
    if (dataType_ == DataType::kXml && reducedMotion_) {
      composeMessage(text_.buffer(), {literal("<motion name=\""), value(zoneName), literal("\">")});
    } else if (dataType_ == DataType::kXml) {
      composeMessage(text_.buffer(), {literal("<motion name=\""), value(zoneName),
                                      literal("\" amount=\""), value(number.view()),
                                      literal("\">")});
    } else {
      composeMessage(text_.buffer(), {value(zoneName), literal(".motion("), value(number.view()),
                                      literal(");")});
    }
    sendTextLocked();
  }
  // The outputs always get the amount: the reduced form only spares the
  // client's parsing.
  for (EventOutput* output : outputs_) output->motion(zoneName, amount);
}

void ReplySender::sendZoneStatus(std::uint16_t gateBit, std::string_view zoneName) {
  if ((statusMask() & gateBit) == 0) return;  // spares the zone query
  const DescriptionCopy status = statusTextOrRefused(zones_.zoneStatusText(zoneName));
  sendNamedStatus("zone", gateBit, zoneName, status.view());
}

void ReplySender::sendGridStatus(std::uint16_t gateBit, std::string_view gridName) {
  if ((statusMask() & gateBit) == 0) return;
  const DescriptionCopy status = statusTextOrRefused(zones_.gridStatusText(gridName));
  sendNamedStatus("grid", gateBit, gridName, status.view());
}

void ReplySender::sendNamedStatus(std::string_view tag, std::uint16_t gateBit,
                                  std::string_view name, std::string_view status) {
  {
    std::lock_guard lock(mutex_);
    if ((statusMask_ & gateBit) == 0) return;
    if (dataType_ == DataType::kXml) {
      composeMessage(text_.buffer(), {literal("<"), literal(tag), literal(" name=\""), value(name),
                                      literal("\" status=\""), value(status), literal("\">")});
    } else {
      composeMessage(text_.buffer(), {value(name), literal("."), value(status), literal(";")});
    }
    sendTextLocked();
  }
  for (EventOutput* output : outputs_) output->status(name, status);
}

void ReplySender::sendMotionStatus(bool on) { sendStatusReply("motion", trueFalse(on), ";"); }

void ReplySender::sendLogin(bool successful) {
  sendStatusReply("login", successful ? "successful" : "failed", ";");
}

void ReplySender::sendString(std::string_view content) { sendContent("string", content); }
void ReplySender::sendError(std::string_view content) { sendContent("error", content); }
void ReplySender::sendLan(std::string_view content) { sendContent("lan", content); }

void ReplySender::sendContent(std::string_view tag, std::string_view content) {
  std::lock_guard lock(mutex_);
  if (dataType_ == DataType::kXml) {
    composeMessage(text_.buffer(), {literal("<"), literal(tag), literal(" content=\""),
                                    value(content), literal("\">")});
  } else {
    composeMessage(text_.buffer(), {literal(tag), literal("("), value(content), literal(");")});
  }
  sendTextLocked();
}

void ReplySender::sendStatusReply(std::string_view tag, std::string_view status,
                                  std::string_view scriptEnd) {
  std::lock_guard lock(mutex_);
  if (dataType_ == DataType::kXml) {
    composeMessage(text_.buffer(), {literal("<"), literal(tag), literal(" status=\""),
                                    value(status), literal("\">")});
  } else {
    composeMessage(text_.buffer(), {literal(tag), literal("="), value(status), literal(scriptEnd)});
  }
  sendTextLocked();
}

void ReplySender::sendDataType() {
  std::lock_guard lock(mutex_);
  // The message is sent in the form it reports.
  composeMessage(text_.buffer(), {literal(dataType_ == DataType::kXml ? "<data status=\"xml\">"
                                                                      : "data=commands")});
  sendTextLocked();
}

void ReplySender::sendZoneDescription(std::string_view zoneName) {
  const DataType form = dataType();
  const DescriptionCopy description(form == DataType::kXml ? zones_.zoneAttributesText(zoneName)
                                                           : zones_.zoneSummaryText(zoneName));
  std::lock_guard lock(mutex_);
  // Sent in the form the description was made for, even should the form
  // change meanwhile, so that the text and its frame always match.
  if (form == DataType::kXml) {
    composeMessage(text_.buffer(), {literal("<zone "), value(description.view()), literal(">")});
  } else {
    composeMessage(text_.buffer(),
                   {literal("zone("), value(description.view()), literal(");")});
  }
  sendTextLocked();
}

// These two end without ";" in the script form, unlike the other replies.
void ReplySender::sendSensitivity(std::int32_t sensitivity) {
  sendStatusReply("sensitivity", DecimalText(sensitivity).view(), "");
}

void ReplySender::sendThreshold(std::int32_t threshold) {
  sendStatusReply("threshold", DecimalText(threshold).view(), "");
}

void ReplySender::sendRenderArea(const ScreenRect& area) {
  const DecimalText x(area.left);
  const DecimalText y(area.top);
  // Widened: a far-off left edge must not overflow the subtraction.
  const DecimalText w(std::int64_t{area.right} - area.left);
  const DecimalText h(std::int64_t{area.bottom} - area.top);
  std::lock_guard lock(mutex_);
  if (dataType_ == DataType::kXml) {
    composeMessage(text_.buffer(),
                   {literal("<render_area x=\""), value(x.view()), literal("\" y=\""),
                    value(y.view()), literal("\" w=\""), value(w.view()), literal("\" h=\""),
                    value(h.view()), literal("\">")});
  } else {
    composeMessage(text_.buffer(),
                   {literal("render_area("), value(x.view()), literal(","), value(y.view()),
                    literal(","), value(w.view()), literal(","), value(h.view()), literal(")")});
  }
  sendTextLocked();
}

void ReplySender::sendMirror(bool on) { sendStatusReply("mirror", trueFalse(on), ";"); }

void ReplySender::sendFlip(bool on) { sendStatusReply("flip", trueFalse(on), ";"); }

}  // namespace tessary
