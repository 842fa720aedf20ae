// Every reply and event in both forms, the status mask, the motion pass and
// the reset, as the client receives them.
#include <functional>
#include <string>
#include <vector>

#include "link/command_fixture.h"

namespace tessary::testing {
namespace {

// Logged in, with the zone "door" in slot 0 and the grid "g".
class ReplyTest : public LoggedInTest {
 protected:
  void SetUp() override {
    LoggedInTest::SetUp();
    expectReplies("add(door,10,20,30,40);grid(g,50,50,20,20,2,2)", {});
  }
  std::vector<std::string> received() { return client.textsUntilQuiet(100ms); }
};

// The messages that no other test sees in both forms.
TEST_F(ReplyTest, EveryOtherMessageInBothFormsByteForByte) {
  const struct {
    std::function<void(ReplySender&)> send;
    std::string xml;
    std::string script;
  } cases[] = {
      {[](ReplySender& s) { s.hitByZoneIndex(0); }, "<hit name=\"door\">", "door.hit();"},
      {[](ReplySender& s) { s.sendMotionStatus(true); }, "<motion status=\"true\">", "motion=true;"},
      {[](ReplySender& s) { s.sendLogin(true); }, "<login status=\"successful\">", "login=successful;"},
      {[](ReplySender& s) { s.sendLogin(false); }, "<login status=\"failed\">", "login=failed;"},
      {[](ReplySender& s) { s.sendString("Tessary\nKey created : now\n"); },
       "<string content=\"Tessary\nKey created : now\n\">", "string(Tessary\nKey created : now\n);"},
      {[](ReplySender& s) { s.sendLan("alpha,beta"); }, "<lan content=\"alpha,beta\">", "lan(alpha,beta);"},
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

TEST_F(ReplyTest, StatusMaskGatesStatusMessagesHitsAndMotion) {
  // After a reset only hits are on.
  EXPECT_EQ(replies.statusMask(), kStatusHit);
  replies.sendZoneStatus(kStatusAdd, "door");
  replies.sendGridStatus(kStatusDelete, "g");
  replies.sendMotion("door", 5);
  replies.onZoneHit(0, "door");
  EXPECT_EQ(received(), std::vector<std::string>{"<hit name=\"door\">"});

  replies.setStatusBits(kStatusMove | kStatusMotion);
  replies.clearStatusBits(kStatusHit);
  EXPECT_EQ(replies.statusMask(), kStatusMove | kStatusMotion);
  replies.onZoneHit(0, "door");
  replies.hitByZoneIndex(0);
  replies.sendZoneStatus(kStatusResize, "door");
  replies.sendZoneStatus(kStatusMove, "door");
  replies.sendMotion("door", 5);
  EXPECT_EQ(received(), (std::vector<std::string>{
                            "<zone name=\"door\" status=\"Created - (10,20)-(30,40)\">",
                            "<motion name=\"door\">"}));
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

TEST_F(ReplyTest, ResetRestoresEverySettingAndTheDisplayState) {
  replies.selectScript();
  replies.setReducedMotion(false);
  replies.setStatusBits(0x1ff);
  display.watchedWindow = 42;
  display.overlayMirror = display.overlayFlip = true;
  display.renderArea = ScreenRect{10, 10, 20, 20};
  display.watchBorders = WatchBorders{1, 2, 3, 4};
  display.blendFactors = Rgb{1, 2, 3};
  const int updatesBefore = overlay.updates;

  replies.reset();
  EXPECT_EQ(replies.dataType(), DataType::kXml);
  EXPECT_TRUE(replies.reducedMotion());
  EXPECT_EQ(replies.statusMask(), 0x080);
  EXPECT_EQ(display.watchedWindow, 0u);
  EXPECT_FALSE(display.overlayMirror || display.overlayFlip);
  EXPECT_EQ(display.renderArea, (ScreenRect{0, 0, 1024, 768}));
  EXPECT_EQ(display.watchBorders, WatchBorders{});
  EXPECT_EQ(display.blendFactors, (Rgb{1, 2, 3}));  // the link resets those
  EXPECT_EQ(overlay.updates, updatesBefore + 1);
  // Sent in the XML form, the form of the reset.
  EXPECT_EQ(received(), std::vector<std::string>{"<motion status=\"true\">"});
}

TEST_F(ReplyTest, LongValuesAreCutAndTheFrameKept) {
  const std::string statement(2047, 's');
  replies.sendError(statement);
  replies.selectScript();
  replies.sendError(statement);
  replies.sendLan(std::string(600, 'n'));
  EXPECT_EQ(received(), (std::vector<std::string>{
                            "<error content=\"" + std::string(257 - 18, 's') + "\">",
                            "error(" + std::string(257 - 8, 's') + ");",
                            "lan(" + std::string(257 - 6, 'n') + ");"}));
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
