// The cost of one event to the thread that reports it (the detection thread
// for hits): the client's own message alone (the peer), then with an OSC
// output sending to a loopback receiver, and with an MQTT output's queue.
// Also the OSC encoding alone, one hit and a pass of 20 hits as one bundle.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "link/mqtt_output.h"
#include "link/osc_output.h"
#include "link/reply_sender.h"
#include "platform/linux/udp_sender.h"
#include "zones/zone_event_sink.h"

namespace tessary {
namespace {

class DiscardingSink final : public MessageSink {
 public:
  bool send(std::string_view text) override {
    benchmark::DoNotOptimize(text.data());
    return true;
  }
};

class NoZones final : public ZoneQueries {
 public:
  std::int32_t zoneCount() override { return 0; }
  std::string_view zoneName(std::int32_t) override { return {}; }
  bool zoneActive(std::int32_t) override { return false; }
  std::int32_t zoneMotionAmount(std::int32_t) override { return 0; }
  std::optional<std::string_view> zoneStatusText(std::string_view) override { return std::nullopt; }
  std::string_view zoneAttributesText(std::string_view) override { return {}; }
  std::string_view zoneSummaryText(std::string_view) override { return {}; }
  std::optional<std::string_view> gridStatusText(std::string_view) override { return std::nullopt; }
};

class NoOverlay final : public OverlayControl {
 public:
  int overlayInit() override { return 0; }
  int overlayUpdatePosition() override { return 0; }
  int overlayPresent() override { return 0; }
  void overlayShutdown() override {}
};

// A loopback UDP receiver that a thread keeps empty, so sends never find a
// full buffer.
class DrainedReceiver {
 public:
  DrainedReceiver() {
    socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    timeval wait{0, 100000};
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    thread_ = std::thread([this] {
      char buffer[9000];
      while (!stop_.load()) ::recv(socket_, buffer, sizeof buffer, 0);
    });
  }
  ~DrainedReceiver() {
    stop_.store(true);
    thread_.join();
    ::close(socket_);
  }
  std::uint16_t port() const { return port_; }

 private:
  int socket_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A broker session that takes everything and sends nothing.
class SilentConnection final : public MqttConnection {
 public:
  bool connect(std::string&) override { return true; }
  bool publish(std::string_view, std::string_view, bool) override { return true; }
  bool service(std::chrono::milliseconds wait, std::string&) override {
    std::this_thread::sleep_for(wait);
    return true;
  }
  bool backlogged() override { return false; }
  void disconnect() override {}
};

// The peer: what the client's own hit costs on the wire, one small text over
// a loopback TCP connection that a thread keeps reading.
void BM_HitTextOverLoopbackTcp(benchmark::State& state) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener, 1);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  const int sender = ::socket(AF_INET, SOCK_STREAM, 0);
  ::connect(sender, reinterpret_cast<sockaddr*>(&address), sizeof address);
  const int receiver = ::accept(listener, nullptr, nullptr);
  int on = 1;
  ::setsockopt(sender, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  std::thread reader([receiver] {
    char buffer[65536];
    while (::recv(receiver, buffer, sizeof buffer, 0) > 0) {
    }
  });
  static const char text[] = "<hit name=\"band\">";
  for (auto _ : state) ::send(sender, text, sizeof text, MSG_NOSIGNAL);
  ::shutdown(sender, SHUT_RDWR);
  reader.join();
  ::close(sender);
  ::close(receiver);
  ::close(listener);
}
BENCHMARK(BM_HitTextOverLoopbackTcp);

// The program's fan-out of a detection pass: the client's messages, then
// the given outputs.
struct Passes {
  Passes() : replies(sink, zones, display, overlay) { fanOut.add(replies); }
  void add(EventOutput& output) { fanOut.add(output); }

  DiscardingSink sink;
  NoZones zones;
  DisplayState display;
  NoOverlay overlay;
  ReplySender replies;
  ZoneEventFanOut fanOut;
};

// Passes of `hitsPerPass` hits each, as the detection thread delivers them.
void runPasses(benchmark::State& state, const ZoneEventFanOut& fanOut, int hitsPerPass) {
  std::vector<std::string> names;
  for (int i = 0; i < hitsPerPass; ++i) names.push_back(hitsPerPass == 1 ? "band" : "grid_" + std::to_string(i));
  std::vector<ZoneHit> hits;
  for (const std::string& name : names) hits.push_back(ZoneHit{static_cast<std::int32_t>(hits.size()), name});
  const ZoneEventBatch batch{hits, 0};
  for (auto _ : state) fanOut.deliver(batch);
  state.SetItemsProcessed(state.iterations() * hitsPerPass);
}

std::vector<std::unique_ptr<DatagramSender>> loopbackSender(const DrainedReceiver& receiver) {
  std::string error;
  std::vector<std::unique_ptr<DatagramSender>> senders;
  senders.push_back(openUdpSender("127.0.0.1", receiver.port(), error));
  return senders;
}

void BM_HitToClientOnly(benchmark::State& state) {
  Passes passes;
  runPasses(state, passes.fanOut, 1);
}
BENCHMARK(BM_HitToClientOnly);

void BM_HitToClientAndOsc(benchmark::State& state) {
  DrainedReceiver receiver;
  Passes passes;
  OscOutput osc(passes.replies, loopbackSender(receiver));
  passes.add(osc);
  runPasses(state, passes.fanOut, 1);
}
BENCHMARK(BM_HitToClientAndOsc);

// A pass of 20 hits (a grid in motion): one bundle, one datagram.
void BM_PassOf20HitsToClientAndOsc(benchmark::State& state) {
  DrainedReceiver receiver;
  Passes passes;
  OscOutput osc(passes.replies, loopbackSender(receiver));
  passes.add(osc);
  runPasses(state, passes.fanOut, 20);
}
BENCHMARK(BM_PassOf20HitsToClientAndOsc);

void BM_HitToClientAndMqtt(benchmark::State& state) {
  Passes passes;
  MqttOutputSettings settings;
  settings.host = "broker";
  MqttOutput mqtt(passes.replies, settings, std::make_unique<SilentConnection>(),
                  [](std::string_view) {});
  passes.add(mqtt);
  runPasses(state, passes.fanOut, 1);
}
BENCHMARK(BM_HitToClientAndMqtt);

void BM_OscEncodeOneHit(benchmark::State& state) {
  OscBatch batch;
  for (auto _ : state) {
    batch.clear();
    batch.addHit("band");
    benchmark::DoNotOptimize(batch.packet().data());
  }
}
BENCHMARK(BM_OscEncodeOneHit);

void BM_OscEncodePassOf20Hits(benchmark::State& state) {
  OscBatch batch;
  const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (int i = 0; i < 20; ++i) all.push_back("grid_" + std::to_string(i));
    return all;
  }();
  for (auto _ : state) {
    batch.clear();
    for (const std::string& name : names) batch.addHit(name);
    benchmark::DoNotOptimize(batch.packet().data());
  }
  state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_OscEncodePassOf20Hits);

}  // namespace
}  // namespace tessary

BENCHMARK_MAIN();
