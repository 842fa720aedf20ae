#include "link/mqtt_output.h"

#include <random>

#include "link/setup_view.h"

namespace tessary {
namespace {

// Home Assistant's object ids take letters, digits, '_' and '-' only.
std::string discoveryId(std::string_view name) {
  std::string id;
  for (char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_';
    id.push_back(plain ? c : '_');
  }
  return id.empty() ? "_" : id;
}

std::string where(const MqttOutputSettings& settings) {
  return settings.host + ":" + std::to_string(settings.port);
}

}  // namespace

std::string mqttTopicLevel(std::string_view name) {
  std::string level;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    level.push_back(c == '+' || c == '#' || c == '/' || byte < 0x20 || byte == 0x7f ? '_' : c);
  }
  return level.empty() ? "_" : level;
}

MqttConnectionSettings MqttOutput::connectionSettings(const MqttOutputSettings& settings) {
  std::random_device random;
  MqttConnectionSettings connection;
  connection.host = settings.host;
  connection.port = settings.port;
  // Unique per run: a broker drops the older of two sessions with one id.
  connection.clientId = "tessary-" + discoveryId(settings.prefix) + "-" + std::to_string(random() % 1000000);
  connection.willTopic = settings.prefix + "/status";
  connection.willPayload = "offline";
  return connection;
}

MqttOutput::MqttOutput(const ClientEventChoice& client, MqttOutputSettings settings,
                       std::unique_ptr<MqttConnection> connection,
                       std::function<void(std::string_view)> report)
    : EventOutput(client),
      settings_(std::move(settings)),
      statusTopic_(settings_.prefix + "/status"),
      connection_(std::move(connection)),
      report_(std::move(report)),
      thread_([this] { run(); }) {}

MqttOutput::~MqttOutput() {
  {
    MutexLock lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

bool MqttOutput::enqueue(std::string_view zone, std::int32_t amount) {
  if (queue_.size() >= kMaxQueuedEvents) {
    ++dropped_;
    return false;
  }
  queue_.push_back(Event{std::string(zone), amount});
  return true;
}

void MqttOutput::hits(std::span<const ZoneHit> hits) {
  {
    MutexLock lock(mutex_);
    for (const ZoneHit& hit : hits) enqueue(hit.name, -1);
  }
  // A zone's "ON" should not wait for the next main tick.
  wake_.notify_one();
}

void MqttOutput::motion(std::string_view zone, std::int32_t amount) {
  MutexLock lock(mutex_);
  enqueue(zone, amount);
}

void MqttOutput::endTick() { wake_.notify_one(); }

void MqttOutput::zonesNow(std::span<const std::string> names) {
  if (!settings_.discovery) return;
  {
    MutexLock lock(mutex_);
    if (std::equal(names.begin(), names.end(), zonesNow_.begin(), zonesNow_.end())) return;
    zonesNow_.assign(names.begin(), names.end());
    zonesChanged_ = true;
  }
  wake_.notify_one();
}

std::uint64_t MqttOutput::droppedEvents() const {
  MutexLock lock(mutex_);
  return dropped_;
}

void MqttOutput::run() {
  for (;;) {
    const Clock::time_point now = Clock::now();
    connectIfDue(now);
    bool stop = false;
    {
      MutexLock lock(mutex_);
      if (!connected_ && queue_.empty() && !stopping_) {
        // Nothing to serve: wait for events, the next attempt or the end.
        wake_.wait_until(mutex_, std::min(nextAttempt_, now + kServiceSlice));
      }
      taken_.swap(queue_);
      queue_.clear();
      if (zonesChanged_) {
        discoveryWanted_.clear();
        for (const std::string& name : zonesNow_) discoveryWanted_.insert(name);
        zonesChanged_ = false;
      }
      stop = stopping_;
    }
    if (!connected_) {
      MutexLock lock(mutex_);
      dropped_ += taken_.size();
      taken_.clear();
    }
    handle(taken_, Clock::now());
    taken_.clear();
    if (connected_) publishPending(Clock::now());
    if (stop) break;
    if (connected_) {
      std::string error;
      if (!connection_->service(kServiceSlice, error)) lose(error, Clock::now());
    }
  }
  if (connected_) {
    // No hit will turn them off any more: a zone left "ON" in the broker
    // would read as motion for good to whoever does not watch the status.
    for (const auto& [zone, state] : zones_) {
      if (state.on) publish(settings_.prefix + "/" + mqttTopicLevel(zone) + "/motion", "OFF", true);
    }
    publish(statusTopic_, "offline", true);
    std::string error;
    connection_->service(kServiceSlice, error);
    connection_->disconnect();
  }
}

void MqttOutput::connectIfDue(Clock::time_point now) {
  if (connected_ || now < nextAttempt_) return;
  std::string error;
  if (!connection_->connect(error)) {
    if (!everFailed_) {
      report_("MQTT broker " + where(settings_) + " unreachable (" + error +
              "); retrying, events are dropped meanwhile");
    }
    everFailed_ = true;
    nextAttempt_ = now + retryDelay_;
    retryDelay_ = std::min<Clock::duration>(retryDelay_ * 2, kLongestRetry);
    return;
  }
  connected_ = true;
  everFailed_ = false;
  retryDelay_ = kFirstRetry;
  report_("MQTT broker " + where(settings_) + " connected; publishing under " + settings_.prefix + "/");
  // What the broker retains is published afresh: it may be a new broker.
  publish(statusTopic_, "online", true);
  for (auto& [zone, state] : zones_) state.published = false;
  discoveryPublished_.clear();
}

void MqttOutput::lose(const std::string& error, Clock::time_point now) {
  connected_ = false;
  everFailed_ = true;
  report_("MQTT broker " + where(settings_) + " lost (" + error +
          "); retrying, events are dropped meanwhile");
  nextAttempt_ = now + retryDelay_;
  retryDelay_ = std::min<Clock::duration>(retryDelay_ * 2, kLongestRetry);
}

void MqttOutput::handle(std::vector<Event>& events, Clock::time_point now) {
  for (Event& event : events) {
    if (event.amount >= 0) {
      if (!connection_->backlogged()) {
        publish(settings_.prefix + "/" + mqttTopicLevel(event.zone) + "/amount",
                std::to_string(event.amount), false);
      }
      continue;
    }
    ZoneState& state = zones_[event.zone];
    if (!state.on) state.published = false;
    state.on = true;
    state.lastHit = now;
  }
}

void MqttOutput::publishPending(Clock::time_point now) {
  for (auto it = zones_.begin(); it != zones_.end();) {
    ZoneState& state = it->second;
    if (state.on && now - state.lastHit >= settings_.offDelay) {
      state.on = false;
      state.published = false;
    }
    if (!state.published && !connection_->backlogged()) {
      state.published = publish(settings_.prefix + "/" + mqttTopicLevel(it->first) + "/motion",
                                state.on ? "ON" : "OFF", true);
    }
    // A zone that is off and said so needs no memory (names come and go).
    if (!state.on && state.published) {
      it = zones_.erase(it);
    } else {
      ++it;
    }
  }
  if (!settings_.discovery || connection_->backlogged()) return;
  for (const std::string& zone : discoveryWanted_) {
    if (discoveryPublished_.contains(zone)) continue;
    if (publish(discoveryTopic(zone), discoveryConfig(zone), true)) discoveryPublished_.insert(zone);
  }
  for (auto it = discoveryPublished_.begin(); it != discoveryPublished_.end();) {
    // An empty retained config removes the sensor.
    if (!discoveryWanted_.contains(*it) && publish(discoveryTopic(*it), "", true)) {
      it = discoveryPublished_.erase(it);
    } else {
      ++it;
    }
  }
}

bool MqttOutput::publish(const std::string& topic, std::string_view payload, bool retain) {
  return connection_->publish(topic, payload, retain);
}

std::string MqttOutput::discoveryTopic(const std::string& zone) const {
  return "homeassistant/binary_sensor/" + discoveryId(settings_.prefix) + "/" + discoveryId(zone) +
         "/config";
}

std::string MqttOutput::discoveryConfig(const std::string& zone) const {
  const std::string node = discoveryId(settings_.prefix);
  return "{\"name\":" + jsonString(zone) + ",\"unique_id\":" + jsonString(node + "_" + discoveryId(zone)) +
         ",\"device_class\":\"motion\",\"state_topic\":" +
         jsonString(settings_.prefix + "/" + mqttTopicLevel(zone) + "/motion") +
         ",\"payload_on\":\"ON\",\"payload_off\":\"OFF\",\"availability_topic\":" +
         jsonString(statusTopic_) + ",\"device\":{\"identifiers\":[" + jsonString(node) +
         "],\"name\":" + jsonString("Tessary " + settings_.prefix) + "}}";
}

}  // namespace tessary
