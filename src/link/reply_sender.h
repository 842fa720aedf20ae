// The only writer of messages to the client: every reply, error and event,
// in the form the client chose (an XML-like tag or a script-call text).
//
// Each message is formatted and sent under one lock, because hits arrive on
// the detection thread while the main thread answers commands; two messages
// never mix. The link never waits for the client, so holding the lock for a
// send holds no one up. A detection pass's hits go out as one batch, with
// one send. Zone texts are fetched before the lock is taken, so the sender
// never holds its lock while calling into the zone server. A message longer
// than kTextCapacity - 1 bytes keeps its frame whole and has its inserted
// values cut to fit.
//
// The event outputs (OSC, MQTT) get the motion amounts and status texts from
// here, after the client and with the lock released; hits reach them from the
// detection fan-out, where they follow hitEventsOn().
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/fixed_text.h"
#include "display/display_state.h"
#include "link/event_output.h"
#include "link/message_sink.h"
#include "link/zone_queries.h"
#include "zones/zone_event_sink.h"

namespace tessary {

// Bits of the status mask: which kinds of status message and event are sent.
inline constexpr std::uint16_t kStatusMove = 0x001;
inline constexpr std::uint16_t kStatusResize = 0x002;
inline constexpr std::uint16_t kStatusMoveSize = 0x004;
inline constexpr std::uint16_t kStatusDelete = 0x008;
inline constexpr std::uint16_t kStatusAdd = 0x010;
inline constexpr std::uint16_t kStatusSensitivity = 0x020;  // kept; gates nothing
inline constexpr std::uint16_t kStatusThreshold = 0x040;    // kept; gates nothing
inline constexpr std::uint16_t kStatusHit = 0x080;
inline constexpr std::uint16_t kStatusMotion = 0x100;
inline constexpr std::uint16_t kStatusMaskAfterReset = kStatusHit;

// Stands in for a zone or grid status text that the zone server does not
// have (the zone was refused, or the name is no zone or grid).
inline constexpr std::string_view kRefusedStatusText = "Refused";
// Stands in for the empty status word of a zone whose pause ended or was
// cancelled, so its status text never begins with a bare " - ".
inline constexpr std::string_view kResumedStatusWord = "Resumed";

enum class DataType : std::uint8_t { kScript = 0, kXml = 1 };

class ReplySender final : public ZoneEventSink, public ClientEventChoice {
 public:
  // Reply text, NUL included.
  static constexpr std::size_t kTextCapacity = 258;

  // None of the references is owned. `display` and `overlay` are the shell's
  // and are touched only by reset(), on the main thread. Performs the reset.
  ReplySender(MessageSink& link, ZoneQueries& zones, DisplayState& display,
              OverlayControl& overlay);
  ReplySender(const ReplySender&) = delete;
  ReplySender& operator=(const ReplySender&) = delete;

  // XML form, the motion status "true" sent, reduced motion on, hit events
  // only; then no watched window, mirror and flip off, the render area the
  // whole screen, no watch borders, and the overlay placed again.
  void reset();

  // The outputs that also get every motion amount and status message the
  // client gets (they take hits from the detection fan-out themselves). Set
  // once, before any event; not owned.
  void setEventOutputs(std::vector<EventOutput*> outputs) { outputs_ = std::move(outputs); }
  // Main thread, once a tick's commands and motion events are done: the
  // outputs send what the tick gave them.
  void endOutputTick();

  // Settings; safe from any thread.
  bool hitEventsOn() const override;
  void selectXml();
  void selectScript();
  DataType dataType() const;
  void setReducedMotion(bool reduced);
  bool reducedMotion() const;
  std::uint16_t statusMask() const;
  void setStatusBits(std::uint16_t bits);
  void clearStatusBits(std::uint16_t bits);

  // Frame tick: a motion event for every active zone that moved, while
  // kStatusMotion is set.
  void motionPass();

  // Events, gated by the mask inside. onZoneEvents (a detection pass's hits,
  // one message each, sent as one batch) may come from any thread;
  // hitByZoneIndex asks the zone server for the name, so it belongs to the
  // thread that may query the zone server (the main thread).
  void onZoneEvents(const ZoneEventBatch& batch) override;
  void hitByZoneIndex(std::int32_t zoneId);
  void sendHit(std::string_view zoneName);
  void sendMotion(std::string_view zoneName, std::int32_t amount);

  // Zone and grid status messages, sent only while `gateBit` is set in the
  // mask (e.g. kStatusAdd after "add").
  void sendZoneStatus(std::uint16_t gateBit, std::string_view zoneName);
  void sendGridStatus(std::uint16_t gateBit, std::string_view gridName);

  // Replies, always sent.
  void sendMotionStatus(bool on);
  void sendLogin(bool successful);
  void sendString(std::string_view content);
  void sendError(std::string_view content);
  void sendLan(std::string_view content);
  void sendDataType();
  void sendZoneDescription(std::string_view zoneName);
  void sendSensitivity(std::int32_t sensitivity);
  void sendThreshold(std::int32_t threshold);
  void sendRenderArea(const ScreenRect& area);
  void sendMirror(bool on);
  void sendFlip(bool on);

 private:
  MessageSink& link_;
  std::vector<EventOutput*> outputs_;  // written once, before events flow
  ZoneQueries& zones_;
  DisplayState& display_;
  OverlayControl& overlay_;

  // Guards every field below and the send itself; held from formatting a
  // message until the link has taken it.
  mutable std::mutex mutex_;
  std::uint16_t statusMask_ = kStatusMaskAfterReset;
  DataType dataType_ = DataType::kXml;
  bool reducedMotion_ = true;
  FixedText<kTextCapacity> text_;
  std::string batch_;  // a pass's hit messages, each with its NUL

  void composeHitLocked(std::string_view zoneName);  // into text_

  void sendTextLocked();  // with mutex_ held
  // <tag content="content"> or tag(content);
  void sendContent(std::string_view tag, std::string_view content);
  // <tag status="status"> or tag=status followed by `scriptEnd`.
  void sendStatusReply(std::string_view tag, std::string_view status, std::string_view scriptEnd);
  // <tag name="name" status="status"> or name.status; while `gateBit` is set.
  void sendNamedStatus(std::string_view tag, std::uint16_t gateBit, std::string_view name,
                       std::string_view status);
};

}  // namespace tessary
