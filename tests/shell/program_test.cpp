// The tessary program end to end: the built binary (or the program under test
// named in the environment, see program_under_test.h) on loopback with its own
// runtime folder, code file and port.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "shell/program_under_test.h"
#include "shell/verbose_trace.h"
#include "support/child_process.h"
#include "support/test_client.h"

namespace tessary {
namespace {

using namespace tessary::testing;

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

class ProgramTest : public ProgramFixture {
 protected:
  // The port the copy reports.
  unsigned startServer(ChildProcess& process, std::vector<std::string> extra = {"--headless"}) {
    extra.insert(extra.begin(), {"--port", "0", "--web-port", "0", "--code-file", codeFile_});
    return startProgram(process, extra, environment());
  }

  int run(std::vector<std::string> argv, std::optional<std::string> input) {
    ChildProcess process;
    EXPECT_TRUE(process.start(programArguments(argv), environment(), std::move(input)));
    std::optional<int> code = process.wait(10s);
    return code.value_or(-1);
  }
};

TEST_F(ProgramTest, SetCodeStoresOneLine) {
  // One line without its line end; empty input never clears the code.
  ChildProcess setter;
  ASSERT_TRUE(setter.start(programArguments({"--set-code", "--code-file", codeFile_}), environment(),
                           " new code\r\nsecond line\n"));
  EXPECT_EQ(setter.readLine(5s), "Login code stored in " + codeFile_);
  EXPECT_EQ(setter.wait(5s), 0);
  EXPECT_EQ(readFile(codeFile_), " new code");
  EXPECT_EQ(run({"--set-code", "--code-file", codeFile_}, ""), 1);
  EXPECT_EQ(readFile(codeFile_), " new code");
  // Without --code-file the code goes to the configuration folder, made if missing.
  configHome_ = files_.file("fresh");
  EXPECT_EQ(run({"--set-code"}, "abc"), 0);
  EXPECT_EQ(readFile(configHome_ + "/Quon_System.dat"), "abc");
}

// 160 x 120 BGRX frames, top row first: a still texture, and in rows 8 to 47,
// columns 20 to 139 a fine pattern that shifts on every frame. (Detection
// counts a changed pixel only where it also stands out from a neighbour, and
// three phases keep a skipped frame from looking like no change.)
std::string movingPictures(int frames) {
  std::string bytes;
  for (int n = 0; n < frames; ++n) {
    for (int y = 0; y < 120; ++y) {
      for (int x = 0; x < 160; ++x) {
        static constexpr int kPhases[3] = {20, 125, 230};
        bool moving = y >= 8 && y < 48 && x >= 20 && x < 140;
        auto value = static_cast<char>(moving ? kPhases[(x + y + n) % 3] : (x / 8 + y / 8) % 2 * 40 + 80);
        bytes += {value, value, value, '\0'};
      }
    }
  }
  return bytes;
}

TEST_F(ProgramTest, HitsOnlyWhereTheFramesMoveAndZonesGoWithTheClient) {
  std::string raw = files_.file("moving.raw");
  ASSERT_TRUE(writeFile(raw, movingPictures(30)));
  ChildProcess server;
  unsigned port = startServer(server, {"--headless", "--camera", "raw:" + raw});
  ASSERT_NE(port, 0u);

  TestClient client;
  // Client units equal camera pixels. The zones are placed symmetrically
  // left to right, but not top to bottom: a picture drawn upside down would
  // hit the wrong zone. A grid's cells are zones of their own.
  ASSERT_NO_FATAL_FAILURE(
      logIn(client, port, ";display_size(160,120);add(moving,30,10,100,30);grid(band,20,10,120,30,3,1)"));
  EXPECT_TRUE(client.waitFor("<hit name=\"moving\">", 5s)) << server.errorOutput();
  EXPECT_TRUE(client.waitFor("<hit name=\"band_1\">", 5s));
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
  next.send("login(s3cret);check_zone(moving);check_zone(still);check_zone(band_1)");
  EXPECT_TRUE(next.waitFor("<login status=\"successful\">", 5s));
  for (int zone = 0; zone < 3; ++zone) EXPECT_TRUE(next.waitFor("<zone illegal zone ID>", 5s));
  for (const std::string& message : next.collect(700ms)) {
    EXPECT_FALSE(message.starts_with("<hit")) << "no zones, no hits: " << message;
  }
  EXPECT_EQ(endProgram(server, environment()), 0) << server.errorOutput();
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
  while (std::optional<std::string> line = client.readLine(5s)) {
    // "HH:MM:SS.mmm  message"
    ASSERT_GT(line->size(), 14u);
    EXPECT_EQ(line->substr(2, 1) + line->substr(5, 1) + line->substr(8, 1), "::.") << *line;
    lines.push_back(line->substr(14));
  }
  EXPECT_EQ(client.wait(5s), 0);
  EXPECT_EQ(lines, (std::vector<std::string>{"<login status=\"successful\">", "data=commands",
                                              "error(Error in command 'bogus'.);"}))
      << client.errorOutput();

  // Without --for it keeps printing until Ctrl-C, says so, and ends cleanly.
  ChildProcess watcher;
  ASSERT_TRUE(watcher.start({TESSARY_CLIENT, "--port", std::to_string(port), "--code-file", codeFile_,
                             "check_data_type()"},
                            environment()));
  std::optional<std::string> answer = watcher.readLine(5s);
  ASSERT_TRUE(answer.has_value());
  EXPECT_TRUE(answer->ends_with("<data status=\"xml\">") || answer->ends_with("<login status=\"successful\">"));
  EXPECT_EQ(watcher.wait(300ms), std::nullopt);
  watcher.signal(SIGINT);
  EXPECT_EQ(watcher.wait(5s), 0);
  EXPECT_TRUE(contains(watcher.errorOutput(), "printing messages until Ctrl-C")) << watcher.errorOutput();
  EXPECT_EQ(endProgram(server, environment()), 0) << server.errorOutput();
}

// Every way start-up can go wrong ends with one line that says so.
TEST_F(ProgramTest, StartUpProblemsAreReportedInOneLine) {
  ChildProcess first;
  unsigned port = startServer(first, {"--headless", "--camera", "demo"});
  ASSERT_NE(port, 0u);
  ChildProcess second;
  ASSERT_TRUE(second.start(programArguments({"--headless", "--port", "0", "--code-file", codeFile_}), environment()));
  EXPECT_EQ(second.wait(5s), 0);
  EXPECT_EQ(second.readLine(100ms), std::nullopt) << "the second copy must not listen";
  EXPECT_EQ(second.errorOutput(), "tessary: Tessary is already running for this user; this copy ends\n");

  // Another runtime folder is another instance; its port is taken.
  TempFolder otherRuntime;
  const std::vector<std::string> otherInstance = {"XDG_RUNTIME_DIR=" + otherRuntime.path(), "DISPLAY"};
  ChildProcess third;
  ASSERT_TRUE(third.start(programArguments({"--headless", "--camera", "demo", "--port", std::to_string(port),
                           "--code-file", codeFile_}),
                          otherInstance));
  EXPECT_EQ(third.wait(10s), 1);
  EXPECT_EQ(third.readLine(100ms), std::nullopt);
  EXPECT_EQ(third.errorOutput(), "tessary: headless: no tray icon, no windows, no overlay\n"
                                 "tessary: cannot listen on port " + std::to_string(port) +
                                     ": Address already in use\n");

  // The first copy still serves, and a client leaving in the usual way
  // leaves no error-looking line behind.
  TestClient client;
  ASSERT_NO_FATAL_FAILURE(logIn(client, port));
  client.close();
  TestClient next;
  ASSERT_TRUE(next.connect(port));
  next.send("whoareyou()");
  EXPECT_FALSE(next.collect(300ms).empty());
  first.signal(SIGTERM);
  EXPECT_EQ(first.wait(10s), 0);
  EXPECT_EQ(first.errorOutput(), "tessary: headless: no tray icon, no windows, no overlay\n");

  // Options that make no sense end it with 2; a source or an address that
  // cannot be used, with 1.
  for (const auto& [options, code, line] : std::vector<std::tuple<std::vector<std::string>, int, std::string>>{
           {{"--listen", "127.0.0.256"}, 2, "invalid listen address '127.0.0.256'"},
           {{"--login-timeout", "1m"}, 2, "invalid login timeout '1m'"},
           {{"--camera", "raw:/nonexistent/frames.raw"}, 1,
            "tessary: camera 'raw:/nonexistent/frames.raw': cannot open the raw frames file "
            "/nonexistent/frames.raw: No such file or directory\n"},
           // An address of no interface here (TEST-NET-1 is never assigned).
           {{"--camera", "demo", "--listen", "192.0.2.7"}, 1,
            "tessary: cannot listen on 192.0.2.7 port 0: Cannot assign requested address\n"}}) {
    std::vector<std::string> argv = {"--headless", "--port", "0"};
    argv.insert(argv.end(), options.begin(), options.end());
    ChildProcess refused;
    ASSERT_TRUE(refused.start(programArguments(argv), otherInstance));
    EXPECT_EQ(refused.wait(10s), code) << line;
    EXPECT_TRUE(contains(refused.errorOutput(), line)) << refused.errorOutput();
  }
}

// "auto" says which camera it took; --listen keeps the server to one address.
TEST_F(ProgramTest, AutoCameraSaysWhatItChoseAndListenNarrowsTheServer) {
  ChildProcess server;
  unsigned port = startServer(server, {"--headless", "--camera", "auto", "--listen", "127.0.0.2"});
  ASSERT_NE(port, 0u);
  EXPECT_TRUE(contains(server.errorOutput(), "tessary: camera auto: ")) << server.errorOutput();
  TestClient client;
  EXPECT_FALSE(client.connect(port, "127.0.0.1")) << "only 127.0.0.2 is served";
  ASSERT_NO_FATAL_FAILURE(logIn(client, port, "", "127.0.0.2"));
  EXPECT_EQ(endProgram(server, environment()), 0) << server.errorOutput();
}

// A guesser gets three quick answers, then one after a second, one after two
// more seconds, and so on, while the ticks go on: motion events keep coming.
TEST_F(ProgramTest, WrongLoginsAreAnsweredSlowlyWhileTheTicksGoOn) {
  ChildProcess server;
  unsigned port = startServer(server, {"--headless", "--camera", "demo"});
  ASSERT_NE(port, 0u);
  TestClient client;
  ASSERT_NO_FATAL_FAILURE(logIn(client, port, ";display_size(160,120);motion(true);add(door,20,50,120,20)"));
  std::string guesses;
  for (int guess = 0; guess < 200; ++guess) guesses += "login(" + std::to_string(100000 + guess) + ");";
  client.send(guesses);
  // Within 2.5 s at most five of the 200 can be answered (at 0, 0, 0, 1 and
  // 3 seconds); a slow machine answers fewer, never more.
  std::vector<std::string> messages = client.collect(2500ms);
  const auto failed = std::count(messages.begin(), messages.end(), "<login status=\"failed\">");
  EXPECT_GE(failed, 3);
  EXPECT_LE(failed, 5);
  const auto motion = std::count_if(messages.begin(), messages.end(),
                                    [](const std::string& m) { return m.starts_with("<motion name=\"door\""); });
  EXPECT_GT(motion, 5) << "the frame tick must not wait for the logins";
  EXPECT_EQ(endProgram(server, environment()), 0) << server.errorOutput();
}

// A client that holds the seat without logging in loses it after
// --login-timeout, whatever it sends meanwhile, and is told why; the client
// waiting behind it is then served, and one that logged in keeps the seat.
TEST_F(ProgramTest, AClientThatDoesNotLogInInTimeLosesTheSeat) {
  ChildProcess server;
  unsigned port = startServer(server, {"--headless", "--camera", "demo", "--login-timeout", "2", "--verbose"});
  ASSERT_NE(port, 0u);
  TestClient guesser;
  ASSERT_TRUE(guesser.connect(port));
  guesser.send("set_data_type(commands);login(nope)");
  ASSERT_TRUE(guesser.waitFor("login=failed;", 5s));
  TestClient waiting;
  ASSERT_TRUE(waiting.connect(port));
  waiting.send("login(s3cret)");
  // Guessing on and on, up to the end: the last guesses may still be unread
  // when the connection is closed, and the error must reach the client all
  // the same.
  bool told = false;
  for (int guess = 0; guess < 400 && !told; ++guess) {
    guesser.send("login(" + std::to_string(guess) + ")");
    told = guesser.waitFor("error(No login in time, disconnected.);", 25ms);
  }
  EXPECT_TRUE(told) << server.errorOutput();
  EXPECT_TRUE(guesser.waitForClose(5s));
  EXPECT_TRUE(waiting.waitFor("<login status=\"successful\">", 5s));
  // Logged in, it stays well past the deadline.
  std::this_thread::sleep_for(2500ms);
  waiting.send("check_data_type()");
  EXPECT_TRUE(waiting.waitFor("<data status=\"xml\">", 5s));
  EXPECT_EQ(endProgram(server, environment()), 0);
  EXPECT_TRUE(contains(server.errorOutput(), "login deadline passed: client disconnected")) << server.errorOutput();
}

TEST_F(ProgramTest, StartsAndShutsDownInOrderOnTerminationSignals) {
  for (int signalNumber : {SIGTERM, SIGINT}) {
    ChildProcess server;
    // Without a display the program runs headless by itself.
    std::vector<std::string> options = {"--verbose"};
    if (signalNumber == SIGTERM) options.push_back("--headless");
    unsigned port = startServer(server, options);
    ASSERT_NE(port, 0u);
    TestClient client;
    ASSERT_NO_FATAL_FAILURE(logIn(client, port));

    server.signal(signalNumber);
    EXPECT_EQ(server.wait(10s), 0) << server.errorOutput();
    std::string trace = server.errorOutput();
    EXPECT_EQ(contains(trace, "no display found: running headless"), signalNumber == SIGINT) << trace;
    std::size_t position = 0;
    for (std::string_view step : {"start-up: cameras", "start-up: overlay", "start-up: link", "start-up: done",
                                  "shut-down: timers stopped", "shut-down: overlay", "shut-down: cameras",
                                  "shut-down: link", "shut-down: interpreter", "shut-down: replies"}) {
      position = trace.find(step, position);
      ASSERT_NE(position, std::string::npos) << step << " missing or out of order in:\n" << trace;
    }
    // The verbose trace shows the client's statements and our messages.
    EXPECT_TRUE(contains(trace, " <- login(s3cret)")) << trace;
    EXPECT_TRUE(contains(trace, " -> <login status=\"successful\">")) << trace;
  }
}

TEST(VerboseTraceTest, OneLinePerTextWithControlBytesEscaped) {
  using namespace std::string_view_literals;
  EXPECT_EQ(formatTraceLines(TraceDirection::kReceived, "login(x);\nadd(a\0whoareyou()\0"sv, "T"),
            "T <- login(x);\\nadd(a\nT <- whoareyou()\n");
  EXPECT_EQ(formatTraceLines(TraceDirection::kSent, "<string content=\"a\\b\tc\x01\">", "T"),
            "T -> <string content=\"a\\\\b\\tc\\x01\">\n");
}

}  // namespace
}  // namespace tessary
