// Latency from a frame's arrival at the camera to the hit messages on a
// client's socket, through everything the program runs in between: the
// camera, the capture channel and detection, the zone server, the reply
// sender and the TCP link, with a client connected over loopback.
//
// Each round: the camera receives a checkerboard that is the inverse of the
// one before, so every zone fires. The round's latency runs from just before
// the sample is handed to the camera to the moment the client's blocking
// read returns the first whole hit message ("first_*"), and to the moment
// all the pass's hit messages have arrived ("all_*"). Then the round waits
// for the count held from that frame to fire once more and reads it away,
// so rounds never overlap. Cases: one full-frame zone, and a 40 x 30 grid
// (1,200 zones). Counters in milliseconds: median and 99th percentile.
//
// tools/hit_latency.py measures the same from outside, on the running
// program, against another build.
#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/camera_registry.h"
#include "capture/fake_capture_backend.h"
#include "common/frame.h"
#include "display/display_state.h"
#include "link/reply_sender.h"
#include "link/tcp_link.h"
#include "link/video_controller_zone_queries.h"
#include "platform/linux/posix_sockets.h"
#include "zones/video_controller.h"

namespace tessary {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 150;
constexpr auto kSettle = std::chrono::milliseconds(160);  // two processing periods and more

class QuietEvents final : public LinkEvents {
 public:
  void clientConnected() override {}
  void clearAllZones() override {}
  void stopCapture() override {}
  void resetReplies() override {}
  void logOut() override {}
  void resetBlendFactors() override {}
};

std::vector<std::uint8_t> checkerboard(int phase) {
  std::vector<std::uint8_t> frame(kFrameBytes);
  for (int y = 0; y < kFrameHeight; ++y) {
    for (int x = 0; x < kFrameWidth; ++x) {
      const std::uint8_t level = (x + y + phase) % 2 == 0 ? 220 : 20;
      std::uint8_t* pixel = &frame[static_cast<std::size_t>(y * kFrameStride + x * 4)];
      pixel[0] = pixel[1] = pixel[2] = level;
    }
  }
  return frame;
}

// A blocking loopback client that counts whole messages (NUL-ended texts).
class Client {
 public:
  explicit Client(std::uint16_t port) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { ::close(socket_); }
  bool connected() const { return connected_; }

  // Reads until `count` more messages have ended (counting those a read
  // before brought along); false on a 2 s silence.
  bool readMessages(int count) {
    while (ahead_ < count) {
      pollfd waiting{socket_, POLLIN, 0};
      if (::poll(&waiting, 1, 2000) <= 0) return false;
      const ssize_t got = ::recv(socket_, buffer_, sizeof buffer_, 0);
      if (got <= 0) return false;
      ahead_ += static_cast<int>(std::count(buffer_, buffer_ + got, '\0'));
    }
    ahead_ -= count;
    return true;
  }
  // Reads away whatever has arrived.
  void drain() {
    ahead_ = 0;
    while (::recv(socket_, buffer_, sizeof buffer_, MSG_DONTWAIT) > 0) {
    }
  }

 private:
  int socket_ = -1;
  bool connected_ = false;
  int ahead_ = 0;  // messages read beyond those asked for
  char buffer_[64 * 1024];
};

double percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void BM_FrameToSocket(benchmark::State& state) {
  const bool grid = state.range(0) > 1;
  const int zones = grid ? 1200 : 1;
  for (auto _ : state) {
    auto backend = std::make_unique<fakes::FakeCaptureBackend>();
    backend->devices.push_back(
        {"Bench Cam", {fakes::capability(PixelFormat::kRgb32, kFrameWidth, kFrameHeight)}});
    fakes::FakeCaptureBackend& fake = *backend;

    PosixSockets sockets;
    QuietEvents events;
    DisplayState display;
    NullOverlayControl overlay;
    VideoController controller;
    VideoControllerZoneQueries queries(controller);
    TcpLink link(sockets, events, 0, kLoopbackAddress);
    ReplySender replies(link, queries, display, overlay);
    controller.eventSinks().add(replies);
    if (!controller.initialize(std::make_unique<CameraRegistry>(std::move(backend)))) {
      state.SkipWithError("the bench camera did not open");
      return;
    }
    controller.setScale(kFrameWidth, kFrameHeight);
    if (grid) {
      controller.createGrid("cell", 0, 0, kFrameWidth, kFrameHeight, 40, 30);
    } else {
      controller.addZone("whole", 0, 0, kFrameWidth, kFrameHeight);
    }
    Client client(link.port());
    while (client.connected() && !link.isConnected()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    controller.cameras().startCapture();
    fakes::FakeCaptureSession& camera = *fake.live.at(0);
    const std::vector<std::uint8_t> frames[2] = {checkerboard(0), checkerboard(1)};

    // Past the first comparisons with an empty frame.
    for (int round = 0; round < 2; ++round) {
      camera.deliver(frames[round % 2].data(), kFrameBytes);
      std::this_thread::sleep_for(kSettle);
    }
    std::vector<double> first, all;
    for (int round = 1; round <= kRounds; ++round) {
      client.drain();
      const auto arrival = Clock::now();
      camera.deliver(frames[round % 2].data(), kFrameBytes);
      const bool gotFirst = client.readMessages(1);
      const double firstMs = msSince(arrival);
      const bool gotAll = gotFirst && client.readMessages(zones - 1);
      const double allMs = msSince(arrival);
      if (!gotAll) {
        state.SkipWithError("hits did not arrive");
        controller.shutdown();
        return;
      }
      first.push_back(firstMs);
      all.push_back(allMs);
      std::this_thread::sleep_for(kSettle);
    }
    controller.shutdown();
    state.counters["first_median_ms"] = percentile(first, 0.5);
    state.counters["first_p99_ms"] = percentile(first, 0.99);
    state.counters["all_median_ms"] = percentile(all, 0.5);
    state.counters["all_p99_ms"] = percentile(all, 0.99);
    state.counters["rounds"] = static_cast<double>(first.size());

  }
}
BENCHMARK(BM_FrameToSocket)->ArgName("zones")->Arg(1)->Arg(1200)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace tessary

BENCHMARK_MAIN();
