// An installation without a client program: a zones file as the client, the
// client's events to a real OSC receiver (liblo's oscdump) and to a real MQTT
// broker (mosquitto, read with mosquitto_sub), all started here on loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "shell/program_under_test.h"
#include "support/child_process.h"
#include "support/outside_programs.h"
#include "support/test_client.h"
#include "support/wait_until.h"

namespace tessary {
namespace {

using namespace tessary::testing;

// The full path of `program` on PATH (checked with missingPrograms first).
std::string pathOf(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = folder + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return program;
}

// A port the system has just handed out for `type` (SOCK_DGRAM, SOCK_STREAM).
unsigned freePort(int type) {
  const int socket = ::socket(AF_INET, type, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(socket);
  return ntohs(address.sin_port);
}

// One OSC message with no arguments, to see when the receiver listens.
void sendOscProbe(unsigned port) {
  const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  static const char probe[] = "/probe\0\0,\0\0";
  ::sendto(socket, probe, 12, 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::close(socket);
}

bool acceptsConnections(unsigned port) {
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool connected = ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(socket);
  return connected;
}

// Lines of a child's standard output until `wanted` or the time is up.
bool readUntil(ChildProcess& child, const std::string& wanted, std::vector<std::string>& lines,
               std::chrono::milliseconds timeout = 15s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    auto line = child.readLine(100ms);
    if (!line) continue;
    lines.push_back(*line);
    if (line->find(wanted) != std::string::npos) return true;
  }
  return false;
}

// oscdump's lines until `duration` has passed.
void readFor(ChildProcess& child, std::vector<std::string>& lines, std::chrono::milliseconds duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < deadline) {
    if (auto line = child.readLine(50ms)) lines.push_back(*line);
  }
}

std::string joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

class StandaloneProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(codeFile_) << "s3cret";
    // The demo camera moves a square through rows 44 to 75 only.
    std::ofstream(zonesFile_) << "# A hall with one camera: the band moves, the top stays still.\n"
                                 "display_size(160,120); status_messages(all,no_motion)\n"
                                 "  add(band,0,50,160,20) ;add(still,0,0,160,30)\n"
                                 "add(broken)\n"
                                 "jump(high)\n";
  }

  std::vector<std::string> environment() const {
    return {"XDG_RUNTIME_DIR=" + runtime_.path(), "XDG_CONFIG_HOME=" + files_.path(), "DISPLAY",
            "WAYLAND_DISPLAY"};
  }

  // Starts oscdump on a free port and waits until it prints what it gets.
  unsigned startOscReceiver(ChildProcess& receiver) {
    const std::string missing = missingPrograms({"oscdump"});
    EXPECT_EQ(missing, "");
    if (!missing.empty()) return 0;
    const std::string oscdump = pathOf("oscdump");
    const unsigned port = freePort(SOCK_DGRAM);
    EXPECT_TRUE(receiver.start({oscdump, "-L", std::to_string(port)}));
    std::vector<std::string> lines;
    const bool ready = waitUntil([&] {
      sendOscProbe(port);
      auto line = receiver.readLine(100ms);
      return line && line->find("/probe") != std::string::npos;
    }, 10s, 1ms);
    EXPECT_TRUE(ready) << "oscdump printed nothing: " << receiver.errorOutput();
    // Probes still under way.
    readFor(receiver, lines, 300ms);
    return ready ? port : 0;
  }

  TempFolder runtime_;
  TempFolder files_;
  std::string codeFile_ = files_.file("code.dat");
  std::string zonesFile_ = files_.file("zones.txt");
};

TEST_F(StandaloneProgramTest, ZonesFileDrivesOscWithNoClientAndHoldsTheSeat) {
  ChildProcess receiver;
  const unsigned oscPort = startOscReceiver(receiver);
  ASSERT_NE(oscPort, 0u);
  ChildProcess program;
  const unsigned port = startProgram(program,
                                     {"--camera", "demo", "--headless", "--port", "0", "--web-port", "0",
                                      "--code-file", codeFile_, "--zones", zonesFile_, "--osc",
                                      "127.0.0.1:" + std::to_string(oscPort)},
                                     environment());
  ASSERT_NE(port, 0u);
  std::vector<std::string> lines;
  ASSERT_TRUE(readUntil(receiver, "/tessary/band/hit i 1", lines)) << joined(lines) << program.errorOutput();
  readFor(receiver, lines, 1500ms);
  // Both zones were made (the status messages the file turned on say so);
  // only the band is hit.
  EXPECT_NE(joined(lines).find("/tessary/still/status s \"Created - (0,0)-(160,30)\""), std::string::npos)
      << joined(lines);
  EXPECT_EQ(joined(lines).find("/tessary/still/hit"), std::string::npos) << joined(lines);
  // Failing statements are named by their lines, and start-up went on.
  EXPECT_NE(program.errorOutput().find(zonesFile_ + ":4: add : Wrong number of parameters."), std::string::npos)
      << program.errorOutput();
  EXPECT_NE(program.errorOutput().find(zonesFile_ + ":5: unknown command 'jump(high)'"), std::string::npos)
      << program.errorOutput();

  // The file holds the seat: a network client waits unanswered.
  TestClient client;
  ASSERT_TRUE(client.connect(port));
  client.send("login(s3cret)");
  EXPECT_FALSE(client.nextText(700ms));
  EXPECT_EQ(endProgram(program, environment()), 0);
}

TEST_F(StandaloneProgramTest, WithNoClientHitsGoToOscAndMqtt) {
  ASSERT_EQ(missingPrograms({"mosquitto", "mosquitto_sub"}), "");
  const std::string broker = pathOf("mosquitto");
  const std::string subscriber = pathOf("mosquitto_sub");
  ChildProcess receiver;
  const unsigned oscPort = startOscReceiver(receiver);
  ASSERT_NE(oscPort, 0u);
  ChildProcess mosquitto;
  const unsigned mqttPort = freePort(SOCK_STREAM);
  ASSERT_TRUE(mosquitto.start({broker, "-p", std::to_string(mqttPort)}));
  ASSERT_TRUE(waitUntil([&] { return acceptsConnections(mqttPort); }, 10s, 10ms)) << mosquitto.errorOutput();
  ChildProcess messages;
  ASSERT_TRUE(messages.start({subscriber, "-h", "127.0.0.1", "-p", std::to_string(mqttPort), "-t",
                              "tessary/#", "-v"}));

  ChildProcess program;
  ASSERT_NE(startProgram(program,
                         {"--camera", "demo", "--headless", "--port", "0", "--web-port", "0", "--code-file",
                          codeFile_, "--zones", zonesFile_, "--osc", "127.0.0.1:" + std::to_string(oscPort),
                          "--mqtt", "mqtt://127.0.0.1:" + std::to_string(mqttPort), "--mqtt-off-delay", "1"},
                         environment()),
            0u);
  std::vector<std::string> oscLines;
  ASSERT_TRUE(readUntil(receiver, "/tessary/band/hit i 1", oscLines)) << joined(oscLines);
  std::vector<std::string> mqttLines;
  ASSERT_TRUE(readUntil(messages, "tessary/band/motion ON", mqttLines)) << joined(mqttLines)
                                                                         << program.errorOutput();
  EXPECT_NE(joined(mqttLines).find("tessary/status online\n"), std::string::npos) << joined(mqttLines);
  readFor(receiver, oscLines, 1000ms);
  EXPECT_EQ(joined(oscLines).find("/tessary/still/hit"), std::string::npos) << joined(oscLines);
  EXPECT_EQ(joined(mqttLines).find("tessary/still/"), std::string::npos) << joined(mqttLines);
  EXPECT_NE(program.errorOutput().find("MQTT broker 127.0.0.1:" + std::to_string(mqttPort) + " connected"),
            std::string::npos)
      << program.errorOutput();

  // The broker goes away and comes back: one line each way, and the states
  // are published again.
  mosquitto.signal(SIGTERM);
  ASSERT_TRUE(mosquitto.wait(10s));
  ASSERT_TRUE(waitUntil([&] { return program.errorOutput().find(" lost (") != std::string::npos; }, 10s));
  ChildProcess again;
  ASSERT_TRUE(again.start({broker, "-p", std::to_string(mqttPort)}));
  ASSERT_TRUE(waitUntil([&] {
    const std::string errors = program.errorOutput();
    return errors.find(" connected") != errors.rfind(" connected");
  }, 20s)) << program.errorOutput();
  ChildProcess after;
  ASSERT_TRUE(after.start({subscriber, "-h", "127.0.0.1", "-p", std::to_string(mqttPort), "-t", "tessary/#",
                           "-v"}));
  mqttLines.clear();
  ASSERT_TRUE(readUntil(after, "tessary/band/motion ON", mqttLines)) << joined(mqttLines);

  EXPECT_EQ(endProgram(program, environment()), 0);
  mqttLines.clear();
  EXPECT_TRUE(readUntil(after, "tessary/status offline", mqttLines, 5s)) << joined(mqttLines);
  after.signal(SIGTERM);
  messages.signal(SIGTERM);
  again.signal(SIGTERM);
}

TEST_F(StandaloneProgramTest, AZonesFileThatCannotBeReadEndsTheProgram) {
  ChildProcess program;
  const std::string missing = files_.file("no-such-zones.txt");
  ASSERT_TRUE(program.start(programArguments({"--camera", "demo", "--headless", "--port", "0", "--web-port",
                                              "0", "--code-file", codeFile_, "--zones", missing}),
                            environment()));
  EXPECT_EQ(program.wait(10s), 1);
  EXPECT_NE(program.errorOutput().find("cannot read the zones file " + missing), std::string::npos)
      << program.errorOutput();
}

}  // namespace
}  // namespace tessary
