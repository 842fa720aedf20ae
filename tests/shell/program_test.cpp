// The tessary program end to end: the built binary, run headless on loopback
// with its own runtime folder, code file and port.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "child_process.h"

namespace tessary {
namespace {

using namespace tessary::testing;

constexpr char kProgram[] = TESSARY_PROGRAM;

bool contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

class ProgramTest : public ::testing::Test {
 protected:
  // Starts a headless copy on a free port and returns the port it reports.
  unsigned startServer(ChildProcess& process, std::vector<std::string> extra = {},
                       const std::string* runtime = nullptr) {
    std::vector<std::string> argv = {kProgram, "--headless", "--port", "0", "--code-file", codeFile_};
    argv.insert(argv.end(), extra.begin(), extra.end());
    EXPECT_TRUE(process.start(argv, environment(runtime)));
    std::optional<std::string> line = process.readLine(10s);
    if (!line) {
      ADD_FAILURE() << "no listening line; stderr: " << process.errorOutput();
      return 0;
    }
    const std::string prefix = "Tessary ";
    EXPECT_TRUE(line->starts_with(prefix)) << *line;
    auto at = line->rfind(" listening on port ");
    EXPECT_NE(at, std::string::npos) << *line;
    return at == std::string::npos ? 0 : static_cast<unsigned>(std::stoul(line->substr(at + 19)));
  }

  std::vector<std::string> environment(const std::string* runtime = nullptr) const {
    return {"XDG_RUNTIME_DIR=" + (runtime ? *runtime : runtime_.path()),
            "XDG_CONFIG_HOME=" + config_.path(), "DISPLAY", "WAYLAND_DISPLAY"};
  }

  void SetUp() override { ASSERT_TRUE(writeFile(codeFile_, "s3cret")); }

  TempFolder runtime_;
  TempFolder config_;
  TempFolder files_;
  std::string codeFile_ = files_.file("code.dat");
};

TEST_F(ProgramTest, BadOptionsEndWithCodeTwoAndVersionWithZero) {
  ChildProcess bad;
  ASSERT_TRUE(bad.start({kProgram, "--port", "70000"}, environment()));
  EXPECT_EQ(bad.wait(10s), 2);
  EXPECT_TRUE(contains(bad.errorOutput(), "invalid port '70000'")) << bad.errorOutput();

  ChildProcess version;
  ASSERT_TRUE(version.start({kProgram, "--version"}, environment()));
  std::optional<std::string> line = version.readLine(10s);
  ASSERT_TRUE(line);
  EXPECT_TRUE(line->starts_with("Tessary ")) << *line;
  EXPECT_EQ(version.wait(10s), 0);
}

TEST_F(ProgramTest, SetCodeStoresOneLineExactlyAndNeverClearsOnEmptyInput) {
  ChildProcess set;
  ASSERT_TRUE(set.start({kProgram, "--set-code", "--code-file", codeFile_}, environment(),
                        std::string(" new code\r\nsecond line\n")));
  EXPECT_EQ(set.wait(10s), 0);
  EXPECT_EQ(readFile(codeFile_), " new code");

  ChildProcess empty;
  ASSERT_TRUE(empty.start({kProgram, "--set-code", "--code-file", codeFile_}, environment(),
                          std::string()));
  EXPECT_EQ(empty.wait(10s), 1);
  EXPECT_EQ(readFile(codeFile_), " new code");

  // Without --code-file the code goes to the configuration folder, made if missing.
  ChildProcess byDefault;
  ASSERT_TRUE(byDefault.start({kProgram, "--set-code"},
                              {"XDG_CONFIG_HOME=" + config_.path() + "/fresh"},
                              std::string("abc")));
  EXPECT_EQ(byDefault.wait(10s), 0);
  EXPECT_EQ(readFile(config_.path() + "/fresh/Quon_System.dat"), "abc");

  ChildProcess unwritable;
  std::string nowhere = files_.file("missing/code.dat");
  ASSERT_TRUE(unwritable.start({kProgram, "--set-code", "--code-file", nowhere}, environment(),
                               std::string("x\n")));
  EXPECT_EQ(unwritable.wait(10s), 1);
  EXPECT_TRUE(contains(unwritable.errorOutput(), "Cannot open " + nowhere + " for writing."));
}

// 160 x 120 BGRX frames, top row first: a still texture, and in rows 8 to 47,
// columns 20 to 139 a fine pattern that shifts on every frame. (Detection
// counts a changed pixel only where it also stands out from a neighbour, and
// three phases keep a skipped frame from looking like no change.)
std::string movingPictures(int frames) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(frames) * 160 * 120 * 4);
  for (int n = 0; n < frames; ++n) {
    for (int y = 0; y < 120; ++y) {
      for (int x = 0; x < 160; ++x) {
        bool moving = y >= 8 && y < 48 && x >= 20 && x < 140;
        static constexpr int kPhases[3] = {20, 125, 230};
        auto value = static_cast<char>(moving ? kPhases[(x + y + n) % 3] : (x / 8 + y / 8) % 2 * 40 + 80);
        bytes += value;
        bytes += value;
        bytes += value;
        bytes += '\0';
      }
    }
  }
  return bytes;
}

TEST_F(ProgramTest, HitsOnlyWhereTheFramesMoveAndZonesGoWithTheClient) {
  std::string raw = files_.file("moving.raw");
  ASSERT_TRUE(writeFile(raw, movingPictures(30)));
  ChildProcess server;
  unsigned port = startServer(server, {"--camera", "raw:" + raw});
  ASSERT_NE(port, 0u);

  TestClient client;
  ASSERT_TRUE(client.connect(port));
  // Client units equal camera pixels. The zones are placed symmetrically
  // left to right, but not top to bottom: a picture drawn upside down would
  // hit the wrong zone.
  client.send("login(s3cret);display_size(160,120);add(moving,30,10,100,30)");
  ASSERT_TRUE(client.waitFor("<login status=\"successful\">", 5s));
  EXPECT_TRUE(client.waitFor("<hit name=\"moving\">", 5s)) << server.errorOutput();
  // Frames flow now, so the still zone never compares a picture with the
  // empty one that comes before the first.
  client.send("add(still,30,75,100,30)");
  std::vector<std::string> later = client.collect(1500ms);
  EXPECT_NE(std::count(later.begin(), later.end(), "<hit name=\"moving\">"), 0);
  for (const std::string& message : client.seen()) {
    EXPECT_NE(message, "<hit name=\"still\">");
    EXPECT_FALSE(message.starts_with("<error")) << message;
  }
  client.close();

  TestClient next;
  ASSERT_TRUE(next.connect(port));
  next.send("check_zone(moving)");
  EXPECT_TRUE(next.waitFor("<error content=\"Command unavailable, please login.\">", 5s));
  next.send("login(s3cret);check_zone(moving);check_zone(still)");
  EXPECT_TRUE(next.waitFor("<login status=\"successful\">", 5s));
  EXPECT_TRUE(next.waitFor("<zone illegal zone ID>", 5s));
  EXPECT_TRUE(next.waitFor("<zone illegal zone ID>", 5s));
  for (const std::string& message : next.collect(700ms)) {
    EXPECT_FALSE(message.starts_with("<hit")) << "no zones, no hits: " << message;
  }

  server.signal(SIGTERM);
  EXPECT_EQ(server.wait(10s), 0) << server.errorOutput();
}

// The example client of the README: it logs in with the stored code, sends
// its arguments as statements and prints every message time-stamped.
TEST_F(ProgramTest, ExampleClientLogsInAndPrintsMessages) {
  ChildProcess server;
  unsigned port = startServer(server);
  ASSERT_NE(port, 0u);

  ChildProcess client;
  ASSERT_TRUE(client.start({TESSARY_CLIENT, "--port", std::to_string(port), "--code-file", codeFile_,
                            "--for", "1", "set_data_type(commands)", "check_data_type()", "bogus"},
                           environment()));
  std::vector<std::string> lines;
  while (std::optional<std::string> line = client.readLine(5s)) lines.push_back(*line);
  EXPECT_EQ(client.wait(5s), 0);
  ASSERT_EQ(lines.size(), 3u) << client.errorOutput();
  for (const std::string& line : lines) {
    // "HH:MM:SS.mmm  message"
    ASSERT_GT(line.size(), 14u);
    EXPECT_EQ(line.substr(2, 1) + line.substr(5, 1) + line.substr(8, 1), "::.") << line;
  }
  EXPECT_EQ(lines[0].substr(14), "<login status=\"successful\">");
  EXPECT_EQ(lines[1].substr(14), "data=commands");
  EXPECT_EQ(lines[2].substr(14), "error(Error in command 'bogus'.);");

  server.signal(SIGTERM);
  EXPECT_EQ(server.wait(10s), 0);
}

TEST_F(ProgramTest, EveryNewClientMustLogInAgain) {
  ChildProcess server;
  unsigned port = startServer(server);
  ASSERT_NE(port, 0u);

  TestClient first;
  ASSERT_TRUE(first.connect(port));
  first.send("login(s3cret);check_data_type()");
  EXPECT_TRUE(first.waitFor("<login status=\"successful\">", 5s));
  EXPECT_TRUE(first.waitFor("<data status=\"xml\">", 5s));
  first.send("set_data_type(commands)");
  first.close();

  TestClient second;
  ASSERT_TRUE(second.connect(port));
  second.send("check_data_type()");
  EXPECT_TRUE(second.waitFor("<error content=\"Command unavailable, please login.\">", 5s))
      << "the reset must restore XML and log out";
  second.send("login(wrong)");
  EXPECT_TRUE(second.waitFor("<login status=\"failed\">", 5s));

  server.signal(SIGTERM);
  EXPECT_EQ(server.wait(10s), 0);
}

TEST_F(ProgramTest, SecondCopyEndsAtOnceWhileTheFirstKeepsServing) {
  ChildProcess first;
  unsigned port = startServer(first);
  ASSERT_NE(port, 0u);

  ChildProcess second;
  ASSERT_TRUE(second.start({kProgram, "--headless", "--port", "0", "--code-file", codeFile_},
                           environment()));
  EXPECT_EQ(second.wait(5s), 0);
  EXPECT_EQ(second.readLine(100ms), std::nullopt) << "the second copy must not listen";

  // Another user's runtime folder is another instance.
  TempFolder otherRuntime;
  ChildProcess other;
  std::string otherPath = otherRuntime.path();
  EXPECT_NE(startServer(other, {}, &otherPath), 0u);
  other.signal(SIGINT);
  EXPECT_EQ(other.wait(10s), 0);

  TestClient client;
  ASSERT_TRUE(client.connect(port));
  client.send("login(s3cret)");
  EXPECT_TRUE(client.waitFor("<login status=\"successful\">", 5s));
  EXPECT_EQ(first.wait(0ms), std::nullopt);
  first.signal(SIGTERM);
  EXPECT_EQ(first.wait(10s), 0);
}

TEST_F(ProgramTest, StartsAndShutsDownInOrderOnTerminationSignals) {
  for (int signalNumber : {SIGTERM, SIGINT}) {
    ChildProcess server;
    unsigned port = startServer(server, {"--verbose"});
    ASSERT_NE(port, 0u);
    TestClient client;
    ASSERT_TRUE(client.connect(port));
    client.send("login(s3cret)");
    ASSERT_TRUE(client.waitFor("<login status=\"successful\">", 5s));

    server.signal(signalNumber);
    EXPECT_EQ(server.wait(10s), 0) << server.errorOutput();
    std::string trace = server.errorOutput();
    std::size_t position = 0;
    for (std::string_view step : {"start-up: cameras", "start-up: overlay", "start-up: link",
                                  "start-up: done", "shut-down: timers stopped", "shut-down: overlay",
                                  "shut-down: cameras", "shut-down: link",
                                  "shut-down: interpreter", "shut-down: replies"}) {
      std::size_t at = trace.find(step, position);
      ASSERT_NE(at, std::string::npos) << step << " missing or out of order in:\n" << trace;
      position = at;
    }
    // The verbose trace shows the client's statements and our messages.
    EXPECT_TRUE(contains(trace, " <- login(s3cret)")) << trace;
    EXPECT_TRUE(contains(trace, " -> <login status=\"successful\">")) << trace;
  }
}

TEST_F(ProgramTest, BusyPortIsReportedAndTheProgramRunsOn) {
  ChildProcess first;
  unsigned port = startServer(first);
  ASSERT_NE(port, 0u);

  TempFolder otherRuntime;
  ChildProcess second;
  ASSERT_TRUE(second.start({kProgram, "--headless", "--port", std::to_string(port), "--code-file",
                            codeFile_},
                           {"XDG_RUNTIME_DIR=" + otherRuntime.path(), "DISPLAY"}));
  EXPECT_EQ(second.readLine(1500ms), std::nullopt);
  EXPECT_EQ(second.wait(0ms), std::nullopt);
  EXPECT_TRUE(contains(second.errorOutput(), "cannot listen on port " + std::to_string(port)))
      << second.errorOutput();
  second.signal(SIGTERM);
  EXPECT_EQ(second.wait(10s), 0);
  first.signal(SIGTERM);
  EXPECT_EQ(first.wait(10s), 0);
}

TEST_F(ProgramTest, WithoutADisplayItRunsHeadlessBySelf) {
  ChildProcess server;
  ASSERT_TRUE(server.start({kProgram, "--port", "0", "--code-file", codeFile_}, environment()));
  std::optional<std::string> line = server.readLine(10s);
  ASSERT_TRUE(line) << server.errorOutput();
  EXPECT_TRUE(contains(*line, " listening on port "));
  EXPECT_TRUE(contains(server.errorOutput(), "no display found: running headless"))
      << server.errorOutput();
  server.signal(SIGTERM);
  EXPECT_EQ(server.wait(10s), 0);
}

}  // namespace
}  // namespace tessary
