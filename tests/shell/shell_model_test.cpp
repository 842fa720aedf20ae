// The program's plain model: command line, code file, tick order and dialog
// placement.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shell/code_file.h"
#include "shell/command_line.h"
#include "shell/dialog_geometry.h"
#include "shell/tick_loop.h"
#include "support/temp_folder.h"

namespace tessary {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

CommandLineResult parse(std::vector<std::string_view> args) { return parseCommandLine(args); }

TEST(CommandLineTest, ReadsEveryOptionInBothSpellings) {
  EXPECT_EQ(parse({}).options.port, 2152);
  EXPECT_EQ(parse({}).options.webPort, 2153);
  EXPECT_EQ(parse({"--web-port", "0"}).options.webPort, 0);
  EXPECT_EQ(parse({"--web-port=off"}).options.webPort, std::nullopt);
  CommandLineResult result = parse({"--port", "0", "--code-file=/tmp/c d", "--camera", "raw:/x/y.raw", "--headless",
                  "--verbose", "--set-code"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.options.port, 0);
  EXPECT_EQ(result.options.codeFile, "/tmp/c d");
  EXPECT_EQ(result.options.cameraSource, "raw:/x/y.raw");
  EXPECT_TRUE(result.options.headless && result.options.verbose && result.options.setCode);

  result = parse({"--port=65535", "--camera=demo", "--version", "--help"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.options.port, 65535);
  EXPECT_EQ(result.options.cameraSource, "demo");
  EXPECT_TRUE(result.options.showVersion && result.options.showHelp);
  EXPECT_EQ(result.options.listenAddress, kEveryAddress);
  EXPECT_EQ(result.options.loginTimeoutSeconds, 60u);
  EXPECT_TRUE(result.options.webOrigins.empty());

  // Both programs take the seat's options (the web ones wait for a web server).
  result = parse({"--login-timeout", "0", "--web-origin", "http://localhost:3000", "--web-origin=*",
                  "--web-origin", "null", "--web-origin", "https://[::1]:8443/"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.options.loginTimeoutSeconds, 0u);
  EXPECT_EQ(result.options.webOrigins,
            (std::vector<std::string>{"http://localhost:3000", "*", "null", "https://[::1]:8443/"}));

  for (const auto& [text, value] : std::vector<std::pair<std::string_view, std::uint32_t>>{
           {"127.0.0.1", 0x7f000001}, {"localhost", 0x7f000001}, {"0.0.0.0", 0}, {"192.168.10.255", 0xc0a80aff}}) {
    result = parse({"--listen", text});
    ASSERT_TRUE(result.ok) << text << ": " << result.error;
    EXPECT_EQ(result.options.listenAddress.value, value) << text;
    if (text != "localhost") {
      EXPECT_EQ(addressText(result.options.listenAddress), text);
    }
  }
}

TEST(CommandLineTest, ReadsTheInstallationsOptions) {
  CommandLineResult result = parse({"--zones", "hall.txt", "--osc", "127.0.0.1:12000", "--osc=show.local:9000",
                                    "--mqtt", "mqtt://broker:1884/hall/cam1", "--mqtt-off-delay=0.5",
                                    "--mqtt-discovery"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.options.zonesFile, "hall.txt");
  ASSERT_EQ(result.options.osc.size(), 2u);
  EXPECT_EQ(result.options.osc[1].host, "show.local");
  EXPECT_EQ(result.options.osc[1].port, 9000);
  ASSERT_TRUE(result.options.mqtt);
  EXPECT_EQ(result.options.mqtt->host, "broker");
  EXPECT_EQ(result.options.mqtt->port, 1884);
  EXPECT_EQ(result.options.mqtt->prefix, "hall/cam1");
  EXPECT_EQ(result.options.mqttOffDelaySeconds, 0.5);
  EXPECT_TRUE(result.options.mqttDiscovery);
  result = parse({"--mqtt", "mqtt://10.0.0.2"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.options.mqtt->port, 1883);
  EXPECT_EQ(result.options.mqtt->prefix, "tessary");
  EXPECT_EQ(result.options.mqttOffDelaySeconds, 2.0);
}

TEST(CommandLineTest, RefusesWhatCannotBeUsedAndNamesIt) {
  const std::vector<std::pair<std::vector<std::string_view>, std::string_view>> cases = {
      {{"--port", "65536"}, "65536"}, {{"--port", "-1"}, "-1"},         {{"--port", "12ab"}, "12ab"},
      {{"--port="}, "port"},          {{"--port"}, "--port"},           {{"--camera="}, "camera source"},
      {{"--code-file="}, "--code-file"}, {{"--frobnicate"}, "--frobnicate"},
      {{"--headless=yes"}, "--headless"}, {{"stray"}, "stray"},   {{"--listen", "1.2.3"}, "1.2.3"},
      {{"--listen", "1.2.3.4.5"}, "1.2.3.4.5"}, {{"--listen", "256.1.1.1"}, "256.1.1.1"},
      {{"--listen", "01.2.3.4"}, "01.2.3.4"}, {{"--listen", "::1"}, "::1"}, {{"--listen", " 1.2.3.4"}, " 1.2.3.4"},
      {{"--listen", "1.2.3.+4"}, "1.2.3.+4"}, {{"--web-port", "on"}, "on"},
      {{"--osc", "12000"}, "12000"}, {{"--osc", "host:0"}, "host:0"}, {{"--osc", ":9000"}, ":9000"},
      {{"--mqtt", "tcp://broker"}, "tcp://broker"}, {{"--mqtt", "mqtt://"}, "mqtt://"},
      {{"--mqtt", "mqtt://b/a/#"}, "mqtt://b/a/#"}, {{"--mqtt", "mqtt://b:x"}, "mqtt://b:x"},
      {{"--mqtt", "mqtt://b/"}, "mqtt://b/"}, {{"--zones="}, "--zones"},
      {{"--mqtt", "mqtt://b", "--mqtt-off-delay", "-1"}, "-1"},
      {{"--mqtt-discovery"}, "--mqtt"},
      {{"--login-timeout", "-1"}, "-1"},     {{"--login-timeout", "1.5"}, "1.5"},
      {{"--login-timeout", "86401"}, "86401"}, {{"--web-origin", "localhost:3000"}, "localhost:3000"},
      {{"--web-origin", "http://a.example/page"}, "http://a.example/page"}, {{"--web-origin="}, "--web-origin"},
#ifdef _WIN32
      // On Linux any other text may name a camera, a file or a stream; the
      // camera backend refuses it at start-up.
      {{"--camera", "usb"}, "usb"}, {{"--camera", "raw:"}, "raw:"},
#endif
  };
  for (const auto& [args, culprit] : cases) {
    CommandLineResult result = parse(args);
    EXPECT_FALSE(result.ok) << args[0];
    EXPECT_NE(result.error.find(culprit), std::string::npos) << result.error;
  }
}

TEST(CodeFileTest, WritesExactlyTheBytesPrivatelyOrReportsTheFailure) {
  TempFolder folder;
  const std::string file = folder.file("config/code.dat");
  EXPECT_FALSE(writeCodeFile(file, "x", false)) << "the folder is made only when asked";
  ASSERT_TRUE(writeCodeFile(file, "a much longer previous code", true));
#ifndef _WIN32  // Windows keeps rights in access lists; the Windows layer's tests check them
  fs::permissions(file, fs::perms::others_read, fs::perm_options::add);  // an old, wider file
#endif
  ASSERT_TRUE(writeCodeFile(file, std::string_view(" s3cr\xe9t\0x", 9), false));
  EXPECT_EQ(testing::readFile(file), std::string(" s3cr\xe9t\0x", 9));
#ifndef _WIN32
  // A shared secret: readable by its owner only.
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_FALSE(writeCodeFile("/dev/full", "x", false));  // the write itself fails
#endif
  EXPECT_FALSE(writeCodeFile(folder.path(), "x", false));  // a folder
  EXPECT_EQ(codeFileErrorText("/a/b.dat"), "Cannot open /a/b.dat for writing.");
}

class RecordingSteps final : public ShellSteps {
 public:
  void pollCommands() override { calls += "poll "; }
  void tickPauseTimers() override { calls += "pause "; }
  void sendMotionEvents() override { calls += "motion "; }
  bool hasClient() override { return connected; }
  void startCapture() override { calls += "start "; }
  void stopCapture() override { calls += "stop "; }
  void presentOverlay() override { calls += "present "; }
  void trackWatchedWindow() override { calls += "track "; }
  bool hasViewers() override { return watching; }
  void feedViewers() override { calls += "feed "; }

  bool connected = false;
  bool watching = false;
  std::string calls;
};

TEST(TickLoopTest, TicksRunTheirStepsInOrderUntilHalted) {
  RecordingSteps steps;
  TickLoop loop(steps);
  loop.frameTick();  // in the tray, no client
  steps.connected = true;
  loop.frameTick();
  loop.setInTray(false);  // shown: capture runs, the overlay is not fed
  loop.frameTick();
  loop.slowTick();
  // A setup page keeps capture running without a client, and is fed.
  loop.setInTray(true);
  steps.connected = false;
  steps.watching = true;
  loop.frameTick();
  const std::string expected =
      "poll pause motion stop poll pause motion start present poll pause motion start track "
      "poll pause motion start feed ";
  EXPECT_EQ(steps.calls, expected);
  loop.halt();
  loop.frameTick();
  loop.slowTick();
  EXPECT_TRUE(loop.halted());
  EXPECT_EQ(steps.calls, expected);
}

TEST(DialogGeometryTest, CentresOnTheDesktopInsideTheWorkArea) {
  ScreenBox desktop{0, 0, 1024, 768};
  EXPECT_EQ(centredDialogPosition(301, 200, desktop, std::nullopt), (ScreenPoint{361, 284}));
  // A panel on the left and at the bottom: the centre still fits.
  EXPECT_EQ(centredDialogPosition(300, 200, desktop, ScreenBox{40, 0, 984, 740}), (ScreenPoint{362, 284}));
  // Pushed in from the left edge, pulled back from the bottom edge.
  EXPECT_EQ(centredDialogPosition(1000, 200, desktop, ScreenBox{40, 0, 984, 768}).x, 40);
  EXPECT_EQ(centredDialogPosition(300, 700, desktop, ScreenBox{0, 0, 1024, 600}), (ScreenPoint{362, -100}));
}

}  // namespace
}  // namespace tessary
