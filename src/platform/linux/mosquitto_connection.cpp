#include "platform/linux/mosquitto_connection.h"

#include <mosquitto.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

namespace tessary {
namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr std::chrono::seconds kAnswerTimeout{3};

std::string errorText(int code) {
  // The library's "Error defined by errno" says less than errno itself.
  if (code == MOSQ_ERR_ERRNO) return std::strerror(errno);
  return mosquitto_strerror(code);
}

class MosquittoConnection final : public MqttConnection {
 public:
  explicit MosquittoConnection(const MqttConnectionSettings& settings) : settings_(settings) {
    static std::once_flag started;
    std::call_once(started, [] { mosquitto_lib_init(); });
    session_ = mosquitto_new(settings_.clientId.c_str(), true, this);
    if (session_ == nullptr) return;
    mosquitto_will_set(session_, settings_.willTopic.c_str(),
                       static_cast<int>(settings_.willPayload.size()), settings_.willPayload.data(), 0,
                       true);
    mosquitto_connect_callback_set(session_, [](mosquitto*, void* self, int result) {
      static_cast<MosquittoConnection*>(self)->answer_ = result;
    });
  }
  ~MosquittoConnection() override {
    if (session_ != nullptr) mosquitto_destroy(session_);
  }
  MosquittoConnection(const MosquittoConnection&) = delete;
  MosquittoConnection& operator=(const MosquittoConnection&) = delete;

  // Connects without blocking and waits for the broker's answer for a few
  // seconds at most, so a broker that never answers (a host that drops the
  // packets) holds the output's thread, and the program's exit, no longer.
  bool connect(std::string& error) override {
    if (session_ == nullptr) {
      error = "cannot make an MQTT session";
      return false;
    }
    answer_ = kNoAnswer;
    int result = mosquitto_connect_async(session_, settings_.host.c_str(), settings_.port, kKeepAliveSeconds);
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    while (result == MOSQ_ERR_SUCCESS && answer_ == kNoAnswer) {
      if (std::chrono::steady_clock::now() >= deadline) {
        mosquitto_disconnect(session_);
        error = "no answer within " + std::to_string(kAnswerTimeout.count()) + " s";
        return false;
      }
      result = mosquitto_loop(session_, 50, 1);
    }
    if (result != MOSQ_ERR_SUCCESS) {
      error = errorText(result);
      return false;
    }
    if (answer_ != 0) {
      error = std::string("refused: ") + mosquitto_connack_string(answer_);
      mosquitto_disconnect(session_);
      return false;
    }
    return true;
  }

  bool publish(std::string_view topic, std::string_view payload, bool retain) override {
    const std::string name(topic);
    return mosquitto_publish(session_, nullptr, name.c_str(), static_cast<int>(payload.size()),
                             payload.data(), 0, retain) == MOSQ_ERR_SUCCESS;
  }

  bool service(std::chrono::milliseconds wait, std::string& error) override {
    const int result = mosquitto_loop(session_, static_cast<int>(wait.count()), 1);
    if (result != MOSQ_ERR_SUCCESS) {
      error = errorText(result);
      return false;
    }
    return true;
  }

  bool backlogged() override { return mosquitto_want_write(session_); }

  void disconnect() override { mosquitto_disconnect(session_); }

 private:
  MqttConnectionSettings settings_;
  mosquitto* session_ = nullptr;
  static constexpr int kNoAnswer = -1;
  int answer_ = kNoAnswer;  // the broker's answer to the last connect, set in the loop
};

}  // namespace

std::unique_ptr<MqttConnection> makeMosquittoConnection(const MqttConnectionSettings& settings) {
  return std::make_unique<MosquittoConnection>(settings);
}

}  // namespace tessary
