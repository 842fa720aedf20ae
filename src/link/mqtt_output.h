// The client's hits and motion amounts published to an MQTT broker, on a
// thread of its own: PREFIX/<zone>/motion is "ON" (retained) from a hit until
// the off delay passes without one, then "OFF"; PREFIX/<zone>/amount carries
// each motion amount; PREFIX/status is "online", with "offline" as the will;
// with discovery, a retained Home Assistant config per zone, cleared when the
// zone goes.
//
// Detection never waits for the broker: hits and amounts go into a bounded
// queue that the output's thread empties; a pass's hits wake it at once. While the broker is away the thread retries
// with a back-off from 1 s to 30 s, events are dropped, and one line marks
// each change of state. What is retained (the zones' states, the discovery
// configs) is published again once the broker is back.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/thread_annotations.h"
#include "link/event_output.h"

namespace tessary {

struct MqttConnectionSettings {
  std::string host;
  std::uint16_t port = 1883;
  std::string clientId;
  std::string willTopic;    // retained
  std::string willPayload;
};

// One session with the broker, behind an interface of ours (libmosquitto on
// Linux). Used by the output's thread only.
class MqttConnection {
 public:
  virtual ~MqttConnection() = default;
  // Connects, or connects again after a loss; false with `error` set.
  virtual bool connect(std::string& error) = 0;
  // Hands one message to the session (QoS 0); false when it cannot take it.
  virtual bool publish(std::string_view topic, std::string_view payload, bool retain) = 0;
  // Reads and writes for up to `wait`; false with `error` set when the
  // connection is lost.
  virtual bool service(std::chrono::milliseconds wait, std::string& error) = 0;
  // Whether written data waits for the socket: then nothing more is handed
  // over, so nothing piles up without bound.
  virtual bool backlogged() = 0;
  // An orderly goodbye: the broker does not send the will.
  virtual void disconnect() = 0;
};

using MqttConnectionFactory = std::unique_ptr<MqttConnection> (*)(const MqttConnectionSettings& settings);

struct MqttOutputSettings {
  std::string host;
  std::uint16_t port = 1883;
  std::string prefix = "tessary";
  std::chrono::milliseconds offDelay{2000};
  bool discovery = false;
};

// A zone name as one topic level: '+', '#', '/' and control characters become '_'.
std::string mqttTopicLevel(std::string_view name);

class MqttOutput final : public EventOutput {
 public:
  static constexpr std::size_t kMaxQueuedEvents = 4096;
  static constexpr std::chrono::milliseconds kServiceSlice{10};
  static constexpr std::chrono::seconds kFirstRetry{1};
  static constexpr std::chrono::seconds kLongestRetry{30};

  // `report` gets the one-line state changes (it is called on the output's
  // thread). Starts the thread.
  MqttOutput(const ClientEventChoice& client, MqttOutputSettings settings,
             std::unique_ptr<MqttConnection> connection,
             std::function<void(std::string_view)> report);
  // Publishes "offline", says goodbye and stops the thread.
  ~MqttOutput();
  MqttOutput(const MqttOutput&) = delete;
  MqttOutput& operator=(const MqttOutput&) = delete;

  void motion(std::string_view zone, std::int32_t amount) override;
  // Status texts have no topic.
  void status(std::string_view, std::string_view) override {}
  void endTick() override;
  void zonesNow(std::span<const std::string> names) override;

  // Events dropped: a full queue, or no broker.
  std::uint64_t droppedEvents() const;

  // The settings of the connection this output makes (the will and all).
  static MqttConnectionSettings connectionSettings(const MqttOutputSettings& settings);

 private:
  using Clock = std::chrono::steady_clock;
  struct Event {
    std::string zone;
    std::int32_t amount = -1;  // -1: a hit
  };
  struct ZoneState {
    bool on = false;
    bool published = false;  // the broker has `on`
    Clock::time_point lastHit;
  };

  void hits(std::span<const ZoneHit> hits) override;
  // False, counting the drop, when the queue is full.
  bool enqueue(std::string_view zone, std::int32_t amount) TESSARY_REQUIRES(mutex_);
  void run();
  void connectIfDue(Clock::time_point now);
  void lose(const std::string& error, Clock::time_point now);
  void handle(std::vector<Event>& events, Clock::time_point now);
  void publishPending(Clock::time_point now);
  bool publish(const std::string& topic, std::string_view payload, bool retain);
  std::string discoveryTopic(const std::string& zone) const;
  std::string discoveryConfig(const std::string& zone) const;

  const MqttOutputSettings settings_;
  const std::string statusTopic_;
  std::unique_ptr<MqttConnection> connection_;
  std::function<void(std::string_view)> report_;

  // Guards the fields up to the thread; held briefly by the event calls and
  // by the output's thread when it takes the queue.
  mutable Mutex mutex_;
  ConditionVariable wake_;
  std::vector<Event> queue_ TESSARY_GUARDED_BY(mutex_);
  std::vector<std::string> zonesNow_ TESSARY_GUARDED_BY(mutex_);
  bool zonesChanged_ TESSARY_GUARDED_BY(mutex_) = false;
  bool stopping_ TESSARY_GUARDED_BY(mutex_) = false;
  std::uint64_t dropped_ TESSARY_GUARDED_BY(mutex_) = 0;

  // The output's thread only.
  bool connected_ = false;
  bool everFailed_ = false;  // one line per change: "unreachable" is said once
  Clock::time_point nextAttempt_{};
  Clock::duration retryDelay_ = kFirstRetry;
  std::map<std::string, ZoneState> zones_;
  std::set<std::string> discoveryWanted_;
  std::set<std::string> discoveryPublished_;
  std::vector<Event> taken_;

  std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace tessary
