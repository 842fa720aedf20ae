// The MQTT output's session with the broker, over libmosquitto.
#pragma once

#include "link/mqtt_output.h"

namespace tessary {

// An MqttConnectionFactory.
std::unique_ptr<MqttConnection> makeMosquittoConnection(const MqttConnectionSettings& settings);

}  // namespace tessary
