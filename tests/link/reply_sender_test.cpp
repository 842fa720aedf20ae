// Replies and events in both forms, the motion pass and the status words, as
// the client receives them.
#include <functional>
#include <string>
#include <vector>

#include "link/command_fixture.h"

namespace tessary::testing {
namespace {

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

}  // namespace
}  // namespace tessary::testing
