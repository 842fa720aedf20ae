// Login, the cutting of texts into statements and parameters, and the reply
// forms as the client receives them.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "link/command_fixture.h"
#include "link/identification.h"
#include "link/login_code_file.h"
#include "link/login_throttle.h"
#include "support/temp_folder.h"

namespace tessary::testing {
namespace {

const std::string kPleaseLogin = error("Command unavailable, please login.");

TEST_F(CommandLinkTest, GuardedCommandsWaitForTheRightCode) {
  feed(std::string_view("whoareyou()\0", 12));  // run() itself ends with this question
  EXPECT_EQ(client.nextText(), "<string content=\"" + std::string(identificationText()) +
                                   "\nKey created : " + std::string(keyCreatedText()) + "\">");
  expectReplies("whoareyou( )", {error("whoareyou : Wrong number of parameters.")});
  expectReplies("check_data_type()", {kPleaseLogin});
  // set_data_type needs no login; the refusal then comes in the script form.
  expectReplies("set_data_type(commands);check_data_type();set_data_type(xml)",
                {"error(Command unavailable, please login.);"});
  expectReplies("login(wrong)", {"<login status=\"failed\">"});
  expectReplies("login( secret)", {"<login status=\"failed\">"});  // the blank is part of it
  EXPECT_FALSE(interpreter.isLoggedIn());
  // Both statements of one text run in order; the second sees the login.
  expectReplies("login(secret);check_data_type()",
                {"<login status=\"successful\">", "<data status=\"xml\">"});
  // A failed login logs a logged-in client out.
  expectReplies("login(nope);get_flip()", {"<login status=\"failed\">", kPleaseLogin});
  EXPECT_EQ(loginChanges, 4);
}

TEST_F(CommandLinkTest, MissingCodeFileAndCodesThatCannotMatch) {
  std::filesystem::remove(codePath);
  expectReplies("login(secret)", {error("No login data. Enter code via Tessary.")});
  writeCode("a,b");  // would need two parameters
  expectReplies("login(a,b)", {error("login : Wrong number of parameters.")});
  writeCode("code \r\n");  // nothing is trimmed
  expectReplies("login(code \r\n)", {"<login status=\"successful\">"});
  writeCode(std::string("key\0tail", 8));  // a text: it ends at its first NUL
  expectReplies("login(key)", {"<login status=\"successful\">"});
}

// --- Wrong logins ------------------------------------------------------------

TEST(LoginThrottleTest, DelaysDoubleAfterTheFreeTriesAndCountAcrossClients) {
  ManualClock clock;
  clock.now = 0xfffff000u;  // the counter wraps during the test
  LoginThrottle throttle(clock);
  std::vector<std::uint32_t> delays;
  for (int wrong = 0; wrong < 10; ++wrong) {
    delays.push_back(throttle.delayMilliseconds());
    ASSERT_TRUE(throttle.mayEvaluate());
    throttle.recordAnswer(false);
    if (const std::uint32_t delay = throttle.delayMilliseconds(); delay > 0) {
      clock.now += delay - 1;
      EXPECT_FALSE(throttle.mayEvaluate()) << wrong;
      clock.now += 1;
    }
  }
  EXPECT_EQ(delays, (std::vector<std::uint32_t>{0, 0, 0, 1000, 2000, 4000, 8000, 16000, 30000, 30000}));
  // A correct login, once its turn has come, clears everything.
  throttle.recordAnswer(true);
  EXPECT_EQ(throttle.delayMilliseconds(), 0u);

  // A client that reconnects gets three free tries, but no more than ten
  // wrong logins in a row pass without delay, whichever client sends them.
  for (int wrong = 0; wrong < 10; ++wrong) {
    if (wrong % 3 == 0) throttle.newClient();
    EXPECT_EQ(throttle.delayMilliseconds(), 0u) << wrong;
    throttle.recordAnswer(false);
  }
  throttle.newClient();
  EXPECT_EQ(throttle.delayMilliseconds(), 1000u);
}

TEST(LoginThrottleTest, CodesCompareWholly) {
  EXPECT_TRUE(codeMatches("s3cret", "s3cret"));
  for (std::string_view guess : {"s3cre", "s3crett", "S3cret", " s3cret", "", "t3cret", "s3crex"}) {
    EXPECT_FALSE(codeMatches("s3cret", guess)) << guess;
  }
  EXPECT_FALSE(codeMatches("", "x"));
  EXPECT_TRUE(codeMatches(std::string_view("a\0b", 3), std::string_view("a\0b", 3)));
}

// The slowed logins wait without holding up the tick: a poll before their
// time answers nothing, and everything after a waiting login waits with it,
// in order, also what arrives meanwhile.
TEST_F(CommandLinkTest, LoginsAfterTheThirdWrongOneWaitTheirTurnInOrder) {
  const std::string failed = "<login status=\"failed\">";
  using namespace std::string_literals;
  const std::string first = "login(a);login(b);login(c);login(d);check_data_type();login(secret);check_data_type()\0"
                            "whoareyou(1)\0"s;
  feed(first);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(client.nextText(), failed);
  EXPECT_TRUE(interpreter.loginHeldBack());
  ASSERT_TRUE(client.send("whoareyou(2)"));
  clock.now += 999;
  interpreter.poll();
  EXPECT_EQ(client.nextText(100ms), std::nullopt);

  clock.now += 1;
  interpreter.poll();
  EXPECT_EQ(client.nextText(), failed);
  EXPECT_EQ(client.nextText(), error("Command unavailable, please login."));
  EXPECT_EQ(client.nextText(100ms), std::nullopt) << "the correct login waits its turn too";
  clock.now += 2000;
  interpreter.poll();
  EXPECT_EQ(client.nextText(), "<login status=\"successful\">");
  EXPECT_EQ(client.nextText(), "<data status=\"xml\">");
  EXPECT_EQ(client.nextText(), error("whoareyou : Wrong number of parameters."));
  EXPECT_FALSE(interpreter.loginHeldBack());
  ASSERT_TRUE(waitUntil([&] {
    interpreter.poll();
    return bytesTaken >= first.size() + 13;
  }));
  EXPECT_EQ(client.nextText(), error("whoareyou : Wrong number of parameters.")) << "the text sent meanwhile";
  expectReplies("login(x);login(y);login(z)", {failed, failed, failed});

  // A client that goes away is noticed while its login waits, and takes its
  // waiting statements with it; the next one starts with free tries of its own.
  feed(std::string_view("login(w)\0", 9));
  EXPECT_TRUE(interpreter.loginHeldBack());
  client.close();
  ASSERT_TRUE(waitUntil([&] {
    interpreter.poll();
    return !interpreter.loginHeldBack();
  }));
  EXPECT_FALSE(link.isConnected());
  connectClient();
  expectReplies("login(v)", {failed});

  // One that floods while its login waits is disconnected.
  feed("login(u);login(t);login(s)"s + '\0');
  EXPECT_EQ(client.nextText(), failed);
  EXPECT_EQ(client.nextText(), failed);
  EXPECT_TRUE(interpreter.loginHeldBack());
  const std::string flood(CommandInterpreter::kHeldBackLimit, ';');
  client.sendRaw(flood);
  EXPECT_TRUE(waitUntil([&] {
    interpreter.poll();
    return !link.isConnected();
  }));
  EXPECT_FALSE(interpreter.loginHeldBack());
  EXPECT_TRUE(client.waitForClose());
}

TEST_F(LoggedInTest, StatementsSplitAtSemicolonsWithNothingTrimmed) {
  expectReplies("a;;b", {error("Error in command 'a'."), error("Error in command ''."),
                         error("Error in command 'b'.")});
  expectReplies("get_flip();\n", {"<flip status=\"false\">", error("Error in command '\n'.")});
  // Unknown keywords and methods, and a method call without "(", are silent.
  expectReplies("foo(1);add(z,1,1,5,5);z.bogus(1);z.move", {});
  expectReplies("q.move(1,2)", {error("Invalid zone or grid name 'q'.")});
  // "(" before "." makes a global command, so the dot stays in the name.
  expectReplies("add(a.b,1,2,3,4)", {});
  EXPECT_TRUE(controller.zoneExists("a.b"));
  expectReplies("a.b.move(1,2)", {error("Invalid zone or grid name 'a'.")});
  // Texts in one block run one after the other.
  expectReplies(std::string_view("get_flip()\0get_mirror()", 23),
                {"<flip status=\"false\">", "<mirror status=\"false\">"});
}

TEST_F(LoggedInTest, ParameterRules) {
  // Leading blanks go, trailing blanks stay, the last character always goes.
  expectReplies("mirror(true );mirror( true);get_mirror();flip(true",
                {error("mirror: illegal parameter"), "<mirror status=\"true\">",
                 error("flip: illegal parameter")});
  // "," always separates; the count is checked before the handler runs.
  expectReplies("flip(true,false);check_threshold();check_threshold(0)",
                {error("flip : Wrong number of parameters."),
                 error("check_threshold : Wrong number of parameters."),
                 "<threshold status=\"20\">"});
  expectReplies("add(z,1,1,5,5);z.move(1);status_messages(move,hit,no_add)",
                {error("move : Wrong number of parameters.")});
}

TEST_F(LoggedInTest, ReadBoundariesEndTexts) {
  EXPECT_EQ(runRaw("flip(tr"), std::vector<std::string>{error("flip: illegal parameter")});
  EXPECT_EQ(runRaw(std::string("ue)", 4)),
            std::vector<std::string>{error("Error in command 'ue)'.")});
  // A full read without NUL is cut to fit the 257 bytes of a reply, which keeps its frame.
  EXPECT_EQ(runRaw(std::string(2048, 'a')),
            (std::vector<std::string>{error("Error in command '" + std::string(257 - 36, 'a')),
                                      error("Error in command 'a'.")}));
}

TEST_F(LoggedInTest, LongNamesAreCutTheSameWayEverywhere) {
  const std::string longName(200, 'n');
  const std::string cut(127, 'n');
  expectReplies("status_messages(add,move);add(" + longName + ",1,1,5,5);" + longName +
                    ".move(2,2)",
                {"<zone name=\"" + cut + "\" status=\"Created - (1,1)-(5,5)\">",
                 "<zone name=\"" + cut + "\" status=\"Moved - (2,2)-(5,5)\">"});
  expectReplies(std::string(300, 'u') + ".move(1,1)",
                {error("Invalid zone or grid name '" + std::string(127, 'u') + "'.")});
  expectReplies(std::string(500, 'k') + "(1)", {});  // a long keyword is no keyword
}

// Logged in, with the zone "door" in slot 0.
class ReplyTest : public LoggedInTest {
 protected:
  void SetUp() override {
    LoggedInTest::SetUp();
    expectReplies("add(door,10,20,30,40)", {});
  }
  std::vector<std::string> received() { return client.textsUntilQuiet(100ms); }
};

TEST_F(ReplyTest, EveryOtherMessageInBothFormsByteForByte) {
  const struct {
    std::function<void(ReplySender&)> send;
    std::string xml, script;
  } cases[] = {
      {[](ReplySender& s) { s.hitByZoneIndex(0); }, "<hit name=\"door\">", "door.hit();"},
      {[](ReplySender& s) { s.sendMotionStatus(true); }, "<motion status=\"true\">", "motion=true;"},
      {[](ReplySender& s) { s.sendLogin(true); }, "<login status=\"successful\">", "login=successful;"},
      {[](ReplySender& s) { s.sendLogin(false); }, "<login status=\"failed\">", "login=failed;"},
      {[](ReplySender& s) { s.sendString("Tessary\nKey created : now\n"); },
       "<string content=\"Tessary\nKey created : now\n\">", "string(Tessary\nKey created : now\n);"},
      {[](ReplySender& s) { s.sendLan("alpha,beta"); }, "<lan content=\"alpha,beta\">", "lan(alpha,beta);"},
      {[](ReplySender& s) { s.sendError(std::string(2047, 's')); },
       "<error content=\"" + std::string(257 - 18, 's') + "\">",
       "error(" + std::string(257 - 8, 's') + ");"},
  };
  for (const auto& c : cases) {
    replies.selectXml();
    c.send(replies);
    EXPECT_EQ(client.nextText(), c.xml);
    replies.selectScript();
    c.send(replies);
    EXPECT_EQ(client.nextText(), c.script) << "after " << c.xml;
  }
  EXPECT_TRUE(received().empty());
}

TEST_F(ReplyTest, MotionPassReportsActiveZonesThatMoved) {
  expectReplies("add(still,1,1,5,5);add(paused,1,1,5,5);add(window,1,1,5,5);paused.activate(false)",
                {});
  regions.motion = {{controller.findZone("door"), 37}, {controller.findZone("paused"), 80},
                    {controller.findZone("window"), 1}};
  replies.motionPass();
  EXPECT_TRUE(received().empty());  // motion events are off after a reset

  replies.setStatusBits(kStatusMotion);
  replies.motionPass();
  replies.setReducedMotion(false);
  replies.motionPass();
  replies.selectScript();
  replies.motionPass();
  EXPECT_EQ(received(), (std::vector<std::string>{
                            "<motion name=\"door\">", "<motion name=\"window\">",
                            "<motion name=\"door\" amount=\"37\">",
                            "<motion name=\"window\" amount=\"1\">", "door.motion(37);",
                            "window.motion(1);"}));
}

TEST_F(ReplyTest, MissingStatusTextsBecomeWellFormedWords) {
  replies.setStatusBits(kStatusAdd | kStatusDelete);
  controller.pauseZone("door", 0);  // the status word of a resumed zone is empty
  replies.sendZoneStatus(kStatusAdd, "refused");  // the zone list did not take it
  replies.sendZoneStatus(kStatusAdd, "door");
  replies.sendGridStatus(kStatusDelete, "no grid");
  replies.selectScript();
  replies.sendZoneStatus(kStatusAdd, "refused");
  replies.sendZoneStatus(kStatusAdd, "door");
  EXPECT_EQ(received(), (std::vector<std::string>{
                            "<zone name=\"refused\" status=\"Refused\">",
                            "<zone name=\"door\" status=\"Resumed - (10,20)-(30,40)\">",
                            "<grid name=\"no grid\" status=\"Refused\">", "refused.Refused;",
                            "door.Resumed - (10,20)-(30,40);"}));
}

TEST(LoginCodeFileTest, FallbackIsReadOnlyWhileTheFileIsAbsent) {
  auto folder = std::make_unique<TempFolder>();
  const std::string path = folder->file("Quon_System.dat");
  ASSERT_TRUE(writeFile(folder->file("old.dat"), "legacy"));
  LoginCodeFile file(path, folder->file("old.dat"));
  std::string code;
  EXPECT_EQ(file.read(code), LoginCodeFile::ReadResult::kRead);
  EXPECT_EQ(code, "legacy");
  // Once the new file exists it wins, even when it is empty.
  ASSERT_TRUE(writeFile(path, ""));
  EXPECT_EQ(file.read(code), LoginCodeFile::ReadResult::kRead);
  EXPECT_EQ(code, "");
  folder.reset();
  EXPECT_EQ(file.read(code), LoginCodeFile::ReadResult::kCannotOpen);
}

#ifndef _WIN32  // the program passes %APPDATA% on Windows
// The default path for the given XDG_CONFIG_HOME and HOME (nullptr: unset).
std::string defaultPathWith(const char* config, const char* home) {
  for (auto [name, value] : {std::pair{"XDG_CONFIG_HOME", config}, std::pair{"HOME", home}})
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
  return LoginCodeFile::defaultPath();
}

TEST(LoginCodeFileTest, LivesInTheUsersConfigurationFolder) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string oldConfig = config ? config : "", oldHome = home ? home : "";
  EXPECT_EQ(defaultPathWith("/cfg", "/home/u"), "/cfg/Quon_System.dat");
  // Unset, empty and relative values all fall back to ~/.config.
  for (const char* fallback : {static_cast<const char*>(nullptr), "", "relative/dir"})
    EXPECT_EQ(defaultPathWith(fallback, "/home/u"), "/home/u/.config/Quon_System.dat");
  EXPECT_EQ(defaultPathWith(nullptr, nullptr), "");
  defaultPathWith(config ? oldConfig.c_str() : nullptr, home ? oldHome.c_str() : nullptr);
}
#endif

}  // namespace
}  // namespace tessary::testing
