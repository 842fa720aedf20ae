// The event outputs: the OSC packets byte for byte, what reaches the outputs
// from a detection pass and from the reply sender, the MQTT output's topics,
// states and broker outages against a scripted connection, and the zones
// file's reading.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "link/mqtt_output.h"
#include "link/osc_output.h"
#include "link/osc_packet.h"
#include "link/reply_sender.h"
#include "link/support/link_fakes.h"
#include "link/zones_file.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"
#include "zones/zone_event_sink.h"

namespace tessary {
namespace {

using namespace std::chrono_literals;
using namespace tessary::testing;
using ::testing::ElementsAre;

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// The client's choice as a test sets it.
class ClientChoice final : public ClientEventChoice {
 public:
  bool hitEventsOn() const override { return on; }
  std::atomic<bool> on{true};
};

// One detection pass that hit the zones `names`, in that order.
std::vector<ZoneHit> passHits(std::initializer_list<std::string_view> names) {
  std::vector<ZoneHit> hits;
  for (std::string_view name : names) hits.push_back(ZoneHit{static_cast<std::int32_t>(hits.size()), name});
  return hits;
}
void deliverPass(ZoneEventSink& sink, std::initializer_list<std::string_view> names) {
  const std::vector<ZoneHit> hits = passHits(names);
  sink.onZoneEvents(ZoneEventBatch{hits, 0});
}
void deliverPass(const ZoneEventFanOut& fanOut, std::initializer_list<std::string_view> names) {
  const std::vector<ZoneHit> hits = passHits(names);
  fanOut.deliver(ZoneEventBatch{hits, 0});
}

std::string padded(std::string text) {
  text.push_back('\0');
  while (text.size() % 4 != 0) text.push_back('\0');
  return text;
}

TEST(OscPacketTest, MessagesAreOsc10WithOneAddressPerZoneAndKind) {
  OscBatch batch;
  ASSERT_TRUE(batch.addHit("band"));
  // "/tessary/band/hit" is 17 bytes: NUL and two more pad it to 20.
  EXPECT_EQ(batch.packet(), padded("/tessary/band/hit") + padded(",i") + bytes({0, 0, 0, 1}));

  batch.clear();
  ASSERT_TRUE(batch.addMotion("door", 12.5f));
  EXPECT_EQ(batch.packet(), padded("/tessary/door/motion") + padded(",f") + bytes({0x41, 0x48, 0, 0}));

  batch.clear();
  ASSERT_TRUE(batch.addStatus("door", "Created - (1,2)-(3,4)"));
  EXPECT_EQ(batch.packet(),
            padded("/tessary/door/status") + padded(",s") + padded("Created - (1,2)-(3,4)"));

  // What OSC addresses reserve, blanks, control bytes and non-ASCII become '_'.
  std::string address;
  appendOscAddress(address, std::string("a b#c*d,e/f?g[h]i{j}k\tl\xe9m", 25), "hit");
  EXPECT_EQ(address, "/tessary/a_b_c_d_e_f_g_h_i_j_k_l_m/hit");
  address.clear();
  appendOscAddress(address, "", "hit");
  EXPECT_EQ(address, "/tessary/_/hit");
}

TEST(OscPacketTest, SeveralMessagesMakeOneBundleThatStaysWithinOneDatagram) {
  OscBatch batch;
  ASSERT_TRUE(batch.addHit("a"));
  ASSERT_TRUE(batch.addMotion("b", 3));
  const std::string first = padded("/tessary/a/hit") + padded(",i") + bytes({0, 0, 0, 1});
  const std::string second = padded("/tessary/b/motion") + padded(",f") + bytes({0x40, 0x40, 0, 0});
  EXPECT_EQ(batch.packet(), padded("#bundle") + bytes({0, 0, 0, 0, 0, 0, 0, 1}) +
                                bytes({0, 0, 0, static_cast<int>(first.size())}) + first +
                                bytes({0, 0, 0, static_cast<int>(second.size())}) + second);
  EXPECT_EQ(batch.messageCount(), 2u);

  // 1,200 zones do not fit one datagram: the batch says when to send.
  batch.clear();
  int added = 0;
  while (batch.addHit("cell_" + std::to_string(added))) ++added;
  EXPECT_GT(added, 100);
  EXPECT_LE(batch.packet().size(), OscBatch::kMaxPacketBytes);
  EXPECT_EQ(batch.messageCount(), static_cast<std::size_t>(added));
}

class CollectingSender final : public DatagramSender {
 public:
  explicit CollectingSender(std::vector<std::string>& sent) : sent_(sent) {}
  bool send(std::string_view datagram) override {
    sent_.emplace_back(datagram);
    return true;
  }

 private:
  std::vector<std::string>& sent_;
};

TEST(OscOutputTest, APassOrATickIsOnePacketToEveryReceiverAndHitsFollowTheClient) {
  std::vector<std::string> first, second;
  std::vector<std::unique_ptr<DatagramSender>> receivers;
  receivers.push_back(std::make_unique<CollectingSender>(first));
  receivers.push_back(std::make_unique<CollectingSender>(second));
  ClientChoice client;
  OscOutput output(client, std::move(receivers));
  output.endTick();
  EXPECT_TRUE(first.empty());  // nothing to send, nothing sent

  // A pass goes at once, whatever the tick has gathered meanwhile.
  output.status("a", "Created - (1,1)-(2,2)");
  deliverPass(output, {"a", "b"});
  ASSERT_EQ(first.size(), 1u);
  EXPECT_TRUE(first[0].starts_with(std::string("#bundle\0", 8)));
  EXPECT_NE(first[0].find("/tessary/b/hit"), std::string::npos);
  EXPECT_EQ(first[0].find("/status"), std::string::npos);
  deliverPass(output, {"a"});
  ASSERT_EQ(first.size(), 2u);
  EXPECT_TRUE(first[1].starts_with("/tessary/a/hit"));  // alone: no bundle
  output.motion("a", 12);
  output.endTick();
  ASSERT_EQ(first.size(), 3u);
  EXPECT_TRUE(first[2].starts_with(std::string("#bundle\0", 8)));
  EXPECT_NE(first[2].find("/tessary/a/status"), std::string::npos);
  EXPECT_NE(first[2].find("/tessary/a/motion"), std::string::npos);
  EXPECT_EQ(first, second);

  client.on = false;
  deliverPass(output, {"a"});
  EXPECT_EQ(first.size(), 3u);

  // A pass too big for one datagram goes out in several.
  client.on = true;
  std::vector<std::string> names;
  for (int i = 0; i < 1200; ++i) names.push_back("cell_" + std::to_string(i));
  std::vector<ZoneHit> hits;
  for (const std::string& name : names) hits.push_back(ZoneHit{static_cast<std::int32_t>(hits.size()), name});
  output.onZoneEvents(ZoneEventBatch{hits, 0});
  EXPECT_GE(first.size(), 3u + 3u);
  for (const std::string& packet : first) EXPECT_LE(packet.size(), OscBatch::kMaxPacketBytes);
}

class NoZones final : public ZoneQueries {
 public:
  std::int32_t zoneCount() override { return 0; }
  std::string_view zoneName(std::int32_t) override { return {}; }
  bool zoneActive(std::int32_t) override { return false; }
  std::int32_t zoneMotionAmount(std::int32_t) override { return 0; }
  std::optional<std::string_view> zoneStatusText(std::string_view) override { return "Created - (1,1)-(2,2)"; }
  std::string_view zoneAttributesText(std::string_view) override { return {}; }
  std::string_view zoneSummaryText(std::string_view) override { return {}; }
  std::optional<std::string_view> gridStatusText(std::string_view) override { return std::nullopt; }
};

class DiscardingSink final : public MessageSink {
 public:
  bool send(std::string_view) override { return true; }
};

class RecordingOutput final : public EventOutput {
 public:
  explicit RecordingOutput(const ClientEventChoice& client) : EventOutput(client) {}
  void motion(std::string_view zone, std::int32_t amount) override {
    events.push_back("motion " + std::string(zone) + " " + std::to_string(amount));
  }
  void status(std::string_view zone, std::string_view text) override {
    events.push_back("status " + std::string(zone) + " " + std::string(text));
  }
  void endTick() override { events.push_back("end"); }
  std::vector<std::string> events;

 private:
  void hits(std::span<const ZoneHit> hits) override {
    for (const ZoneHit& hit : hits) events.push_back("hit " + std::string(hit.name));
  }
};

class CountingSink final : public MessageSink {
 public:
  bool send(std::string_view) override {
    ++sent;
    return true;
  }
  int sent = 0;
};

TEST(EventOutputTest, OutputsGetOnceWhatTheClientsSettingsLetThrough) {
  CountingSink client;
  NoZones zones;
  DisplayState display;
  CountingOverlay overlay;
  ReplySender replies(client, zones, display, overlay);
  RecordingOutput output(replies);
  replies.setEventOutputs({&output});
  // Detection's fan-out as the program builds it: the client, then the output.
  ZoneEventFanOut passes;
  ASSERT_TRUE(passes.add(replies));
  ASSERT_TRUE(passes.add(output));

  // After a reset only hits are on.
  const int afterReset = client.sent;
  deliverPass(passes, {"band", "door"});
  replies.sendMotion("band", 40);
  replies.sendZoneStatus(kStatusAdd, "band");
  replies.endOutputTick();
  EXPECT_EQ(client.sent, afterReset + 2);
  replies.setStatusBits(kStatusMotion | kStatusAdd);
  replies.clearStatusBits(kStatusHit);
  deliverPass(passes, {"band"});
  replies.sendMotion("band", 40);  // the amount even in the reduced form
  replies.sendZoneStatus(kStatusAdd, "band");
  replies.endOutputTick();
  EXPECT_THAT(output.events, ElementsAre("hit band", "hit door", "end", "motion band 40",
                                         "status band Created - (1,1)-(2,2)", "end"));
}

// A broker session scripted by the test: whether connecting works, and every
// publish in order.
class ScriptedConnection final : public MqttConnection {
 public:
  struct Shared {
    std::mutex mutex;
    bool reachable = false;
    bool drop = false;  // the next service loses the connection
    int attempts = 0;
    std::vector<std::string> published;  // "topic payload" and " (retained)"

    std::vector<std::string> take() {
      std::lock_guard lock(mutex);
      return std::exchange(published, {});
    }
  };
  explicit ScriptedConnection(Shared& shared) : shared_(shared) {}
  bool connect(std::string& error) override {
    std::lock_guard lock(shared_.mutex);
    ++shared_.attempts;
    if (!shared_.reachable) error = "Connection refused";
    return shared_.reachable;
  }
  bool publish(std::string_view topic, std::string_view payload, bool retain) override {
    std::lock_guard lock(shared_.mutex);
    shared_.published.push_back(std::string(topic) + " " + std::string(payload) + (retain ? " (retained)" : ""));
    return true;
  }
  bool service(std::chrono::milliseconds wait, std::string& error) override {
    std::this_thread::sleep_for(wait);
    std::lock_guard lock(shared_.mutex);
    if (!shared_.drop) return true;
    shared_.drop = false;
    shared_.reachable = false;
    error = "Connection lost";
    return false;
  }
  bool backlogged() override { return false; }
  void disconnect() override {}

 private:
  Shared& shared_;
};

class MqttOutputTest : public ::testing::Test {
 protected:
  std::unique_ptr<MqttOutput> start(MqttOutputSettings settings) {
    return std::make_unique<MqttOutput>(client, std::move(settings), std::make_unique<ScriptedConnection>(shared),
                                        [this](std::string_view line) {
                                          std::lock_guard lock(reportMutex);
                                          reports.emplace_back(line);
                                        });
  }
  bool published(const std::string& message) {
    return waitUntil([&] {
      std::lock_guard lock(shared.mutex);
      return std::find(shared.published.begin(), shared.published.end(), message) != shared.published.end();
    }, 3s);
  }
  std::vector<std::string> reported() {
    std::lock_guard lock(reportMutex);
    return reports;
  }
  ClientChoice client;
  ScriptedConnection::Shared shared;
  std::mutex reportMutex;
  std::vector<std::string> reports;
};

TEST_F(MqttOutputTest, HitsTurnAZoneOnUntilTheOffDelayAndAmountsFollow) {
  shared.reachable = true;
  MqttOutputSettings settings;
  settings.host = "broker";
  settings.prefix = "hall/cam1";
  settings.offDelay = 300ms;
  auto output = start(settings);
  ASSERT_TRUE(published("hall/cam1/status online (retained)"));
  const auto started = std::chrono::steady_clock::now();
  deliverPass(*output, {"door"});
  deliverPass(*output, {"door"});
  output->motion("a/b+c#", 37);
  output->endTick();
  ASSERT_TRUE(published("hall/cam1/door/motion OFF (retained)"));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
  // One ON for the run of hits, the amount at once.
  EXPECT_THAT(shared.take(), ElementsAre("hall/cam1/status online (retained)",
                                         "hall/cam1/a_b_c_/amount 37",
                                         "hall/cam1/door/motion ON (retained)",
                                         "hall/cam1/door/motion OFF (retained)"));
  // A zone still on when the program ends is turned off before the will's word.
  deliverPass(*output, {"door"});
  ASSERT_TRUE(published("hall/cam1/door/motion ON (retained)"));
  output.reset();
  EXPECT_THAT(shared.take(), ElementsAre("hall/cam1/door/motion ON (retained)",
                                         "hall/cam1/door/motion OFF (retained)",
                                         "hall/cam1/status offline (retained)"));
  EXPECT_THAT(reported(), ElementsAre("MQTT broker broker:1883 connected; publishing under hall/cam1/"));
}

TEST_F(MqttOutputTest, ABrokerThatIsAwayIsRetriedWithBackOffAndEventsAreDropped) {
  MqttOutputSettings settings;
  settings.host = "broker";
  settings.offDelay = 10s;
  auto output = start(settings);
  ASSERT_TRUE(waitUntil([&] { return !reported().empty(); }, 3s));
  deliverPass(*output, {"lost"});
  // 1 s, then 2 s: two attempts in the first two seconds, three by four.
  std::this_thread::sleep_for(1500ms);
  {
    std::lock_guard lock(shared.mutex);
    EXPECT_EQ(shared.attempts, 2);
    shared.reachable = true;
  }
  ASSERT_TRUE(published("tessary/status online (retained)"));
  EXPECT_GE(output->droppedEvents(), 1u);
  deliverPass(*output, {"door"});
  ASSERT_TRUE(published("tessary/door/motion ON (retained)"));
  shared.take();
  {
    std::lock_guard lock(shared.mutex);
    shared.drop = true;
  }
  ASSERT_TRUE(waitUntil([&] { return reported().size() == 3; }, 3s));
  {
    std::lock_guard lock(shared.mutex);
    shared.reachable = true;
  }
  // Back: the state the broker retains is published afresh.
  ASSERT_TRUE(published("tessary/door/motion ON (retained)"));
  EXPECT_TRUE(published("tessary/status online (retained)"));
  output.reset();
  EXPECT_THAT(reported(),
              ElementsAre("MQTT broker broker:1883 unreachable (Connection refused); retrying, events are dropped meanwhile",
                          "MQTT broker broker:1883 connected; publishing under tessary/",
                          "MQTT broker broker:1883 lost (Connection lost); retrying, events are dropped meanwhile",
                          "MQTT broker broker:1883 connected; publishing under tessary/"));
}

TEST_F(MqttOutputTest, DiscoveryConfigsFollowTheZones) {
  shared.reachable = true;
  MqttOutputSettings settings;
  settings.host = "broker";
  settings.discovery = true;
  auto output = start(settings);
  const std::vector<std::string> two = {"door", "my zone"};
  output->zonesNow(two);
  ASSERT_TRUE(published(
      "homeassistant/binary_sensor/tessary/my_zone/config {\"name\":\"my zone\",\"unique_id\":\"tessary_my_zone\","
      "\"device_class\":\"motion\",\"state_topic\":\"tessary/my zone/motion\",\"payload_on\":\"ON\","
      "\"payload_off\":\"OFF\",\"availability_topic\":\"tessary/status\",\"device\":{\"identifiers\":"
      "[\"tessary\"],\"name\":\"Tessary tessary\"}} (retained)"));
  const std::vector<std::string> one = {"my zone"};
  output->zonesNow(one);
  // An empty retained config removes the sensor.
  EXPECT_TRUE(published("homeassistant/binary_sensor/tessary/door/config  (retained)"));
}

TEST(ZonesFileTest, StatementLinesKeepTheirNumbersAndAMissingFileIsNamed) {
  TempFolder folder;
  const std::string path = folder.file("zones.txt");
  {
    std::ofstream out(path, std::ios::binary);
    out << "# the hall\r\n\nset_data_type(commands); add(a,1,1,2,2)\r\n   # indented comment\n  add(b,1,1,2,2)";
  }
  std::string error;
  auto lines = readZonesFile(path, error);
  ASSERT_TRUE(lines);
  ASSERT_EQ(lines->size(), 2u);
  EXPECT_EQ((*lines)[0].number, 3);
  EXPECT_EQ((*lines)[0].text, "set_data_type(commands); add(a,1,1,2,2)");
  EXPECT_EQ((*lines)[1].number, 5);
  EXPECT_EQ((*lines)[1].text, "  add(b,1,1,2,2)");
  EXPECT_FALSE(readZonesFile(folder.file("none.txt"), error));
  EXPECT_EQ(error, "cannot read the zones file " + folder.file("none.txt") + ": No such file or directory");
}

}  // namespace
}  // namespace tessary
