#include "link/reply_sender.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "link/message_text.h"
#include "link/support/link_fakes.h"
#include "link/support/test_client.h"
#include "link/tcp_link.h"
#include "platform/linux/posix_sockets.h"

namespace tessary {
namespace {

using namespace std::chrono_literals;
using testing::CountingOverlay;
using testing::FakeZone;
using testing::FakeZoneQueries;
using testing::RecordingLinkEvents;
using testing::TestClient;
using testing::waitUntil;

class ReplySenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    display_.screenWidth = 1024;
    display_.screenHeight = 768;
    zones_.zones.push_back(FakeZone{"door", true, 0, "Created - (15,15)-(31,23)",
                                    "name=\"door\" status=\"Created\" x=\"100\" y=\"100\" "
                                    "width=\"200\" height=\"150\" threshold=\"20\" "
                                    "sensitivity=\"50\"",
                                    "door, Created, 100, 100, 200, 150, 20, 50"});
    zones_.grids["g"] = "Created";
    ASSERT_TRUE(client_.connect(link_.port()));
    ASSERT_TRUE(waitUntil([&] { return link_.isConnected(); }));
  }

  // Everything the client gets until the line goes quiet.
  std::vector<std::string> received() { return client_.textsUntilQuiet(100ms); }

  PosixSockets sockets_;
  RecordingLinkEvents events_;
  TcpLink link_{sockets_, events_, 0};
  FakeZoneQueries zones_;
  DisplayState display_;
  CountingOverlay overlay_;
  ReplySender sender_{link_, zones_, display_, overlay_};
  TestClient client_;
};

struct FormCase {
  const char* what;
  std::function<void(ReplySender&)> send;
  std::string xml;
  std::string script;
};

TEST_F(ReplySenderTest, EveryMessageInBothFormsByteForByte) {
  sender_.setStatusBits(kStatusAdd | kStatusMotion);
  const std::vector<FormCase> cases = {
      {"zone status", [](ReplySender& s) { s.sendZoneStatus(kStatusAdd, "door"); },
       "<zone name=\"door\" status=\"Created - (15,15)-(31,23)\">",
       "door.Created - (15,15)-(31,23);"},
      {"grid status", [](ReplySender& s) { s.sendGridStatus(kStatusAdd, "g"); },
       "<grid name=\"g\" status=\"Created\">", "g.Created;"},
      {"hit", [](ReplySender& s) { s.sendHit("door"); }, "<hit name=\"door\">", "door.hit();"},
      {"hit by index", [](ReplySender& s) { s.hitByZoneIndex(0); }, "<hit name=\"door\">",
       "door.hit();"},
      {"reduced motion", [](ReplySender& s) { s.sendMotion("door", 37); },
       "<motion name=\"door\">", "door.motion(37);"},
      {"full motion",
       [](ReplySender& s) {
         s.setReducedMotion(false);
         s.sendMotion("door", 37);
         s.setReducedMotion(true);
       },
       "<motion name=\"door\" amount=\"37\">", "door.motion(37);"},
      {"motion status", [](ReplySender& s) { s.sendMotionStatus(true); },
       "<motion status=\"true\">", "motion=true;"},
      {"login", [](ReplySender& s) { s.sendLogin(true); }, "<login status=\"successful\">",
       "login=successful;"},
      {"failed login", [](ReplySender& s) { s.sendLogin(false); }, "<login status=\"failed\">",
       "login=failed;"},
      {"string", [](ReplySender& s) { s.sendString("Tessary\nKey created : now\n"); },
       "<string content=\"Tessary\nKey created : now\n\">",
       "string(Tessary\nKey created : now\n);"},
      {"error", [](ReplySender& s) { s.sendError("Command unavailable, please login."); },
       "<error content=\"Command unavailable, please login.\">",
       "error(Command unavailable, please login.);"},
      {"lan", [](ReplySender& s) { s.sendLan("alpha,beta"); }, "<lan content=\"alpha,beta\">",
       "lan(alpha,beta);"},
      {"data type", [](ReplySender& s) { s.sendDataType(); }, "<data status=\"xml\">",
       "data=commands"},
      {"zone description", [](ReplySender& s) { s.sendZoneDescription("door"); },
       "<zone name=\"door\" status=\"Created\" x=\"100\" y=\"100\" width=\"200\" "
       "height=\"150\" threshold=\"20\" sensitivity=\"50\">",
       "zone(door, Created, 100, 100, 200, 150, 20, 50);"},
      {"unknown zone description", [](ReplySender& s) { s.sendZoneDescription("nope"); },
       "<zone illegal zone ID>", "zone(illegal zone ID);"},
      {"sensitivity", [](ReplySender& s) { s.sendSensitivity(50); },
       "<sensitivity status=\"50\">", "sensitivity=50"},
      {"threshold", [](ReplySender& s) { s.sendThreshold(-20); }, "<threshold status=\"-20\">",
       "threshold=-20"},
      {"render area", [](ReplySender& s) { s.sendRenderArea(ScreenRect{100, 100, 1024, 768}); },
       "<render_area x=\"100\" y=\"100\" w=\"924\" h=\"668\">", "render_area(100,100,924,668)"},
      {"mirror", [](ReplySender& s) { s.sendMirror(true); }, "<mirror status=\"true\">",
       "mirror=true;"},
      {"flip", [](ReplySender& s) { s.sendFlip(false); }, "<flip status=\"false\">",
       "flip=false;"},
  };
  for (const FormCase& c : cases) {
    sender_.selectXml();
    c.send(sender_);
    EXPECT_EQ(client_.nextText(), c.xml) << c.what;
    sender_.selectScript();
    c.send(sender_);
    EXPECT_EQ(client_.nextText(), c.script) << c.what;
  }
  EXPECT_TRUE(received().empty());
}

TEST_F(ReplySenderTest, StatusMaskGatesStatusMessagesHitsAndMotion) {
  // After a reset only hits are on.
  EXPECT_EQ(sender_.statusMask(), kStatusHit);
  sender_.sendZoneStatus(kStatusAdd, "door");
  sender_.sendGridStatus(kStatusDelete, "g");
  sender_.sendMotion("door", 5);
  sender_.onZoneHit(0, "door");
  EXPECT_EQ(received(), std::vector<std::string>{"<hit name=\"door\">"});

  sender_.setStatusBits(kStatusMove | kStatusMotion);
  sender_.clearStatusBits(kStatusHit);
  EXPECT_EQ(sender_.statusMask(), kStatusMove | kStatusMotion);
  sender_.onZoneHit(0, "door");
  sender_.hitByZoneIndex(0);
  sender_.sendZoneStatus(kStatusResize, "door");
  sender_.sendZoneStatus(kStatusMove, "door");
  sender_.sendMotion("door", 5);
  EXPECT_EQ(received(), (std::vector<std::string>{
                            "<zone name=\"door\" status=\"Created - (15,15)-(31,23)\">",
                            "<motion name=\"door\">"}));
}

TEST_F(ReplySenderTest, MotionPassReportsActiveZonesThatMoved) {
  zones_.zones[0].motionAmount = 37;
  zones_.zones.push_back(FakeZone{"still", true, 0, {}, {}, {}});
  zones_.zones.push_back(FakeZone{"paused", false, 80, {}, {}, {}});
  zones_.zones.push_back(FakeZone{"window", true, 1, {}, {}, {}});

  sender_.motionPass();
  EXPECT_TRUE(received().empty());  // motion events are off after a reset

  sender_.setStatusBits(kStatusMotion);
  sender_.motionPass();
  EXPECT_EQ(received(),
            (std::vector<std::string>{"<motion name=\"door\">", "<motion name=\"window\">"}));
  sender_.setReducedMotion(false);
  sender_.motionPass();
  sender_.selectScript();
  sender_.motionPass();
  EXPECT_EQ(received(), (std::vector<std::string>{"<motion name=\"door\" amount=\"37\">",
                                                  "<motion name=\"window\" amount=\"1\">",
                                                  "door.motion(37);", "window.motion(1);"}));
}

TEST_F(ReplySenderTest, ResetRestoresEverySettingAndTheDisplayState) {
  sender_.selectScript();
  sender_.setReducedMotion(false);
  sender_.setStatusBits(0x1ff);
  display_.watchedWindow = 42;
  display_.overlayMirror = true;
  display_.overlayFlip = true;
  display_.renderArea = ScreenRect{10, 10, 20, 20};
  display_.watchBorders = WatchBorders{1, 2, 3, 4};
  display_.blendFactors = Rgb{1, 2, 3};
  const int updatesBefore = overlay_.updates;

  sender_.reset();
  EXPECT_EQ(sender_.dataType(), DataType::kXml);
  EXPECT_TRUE(sender_.reducedMotion());
  EXPECT_EQ(sender_.statusMask(), 0x080);
  EXPECT_EQ(display_.watchedWindow, 0u);
  EXPECT_FALSE(display_.overlayMirror);
  EXPECT_FALSE(display_.overlayFlip);
  EXPECT_EQ(display_.renderArea, (ScreenRect{0, 0, 1024, 768}));
  EXPECT_EQ(display_.watchBorders, WatchBorders{});
  EXPECT_EQ(display_.blendFactors, (Rgb{1, 2, 3}));  // the link resets those
  EXPECT_EQ(overlay_.updates, updatesBefore + 1);
  // Sent in the XML form, the form of the reset.
  EXPECT_EQ(received(), std::vector<std::string>{"<motion status=\"true\">"});
}

TEST_F(ReplySenderTest, LongValuesAreCutAndTheFrameKept) {
  const std::string statement(2047, 's');
  sender_.sendError(statement);
  sender_.selectScript();
  sender_.sendError(statement);
  sender_.sendLan(std::string(600, 'n'));
  const std::vector<std::string> texts = received();
  ASSERT_EQ(texts.size(), 3u);
  for (const std::string& text : texts) EXPECT_EQ(text.size(), ReplySender::kTextCapacity - 1);
  EXPECT_EQ(texts[0], "<error content=\"" + std::string(257 - 18, 's') + "\">");
  EXPECT_EQ(texts[1], "error(" + std::string(257 - 8, 's') + ");");
  EXPECT_EQ(texts[2], "lan(" + std::string(257 - 6, 'n') + ");");
}

TEST_F(ReplySenderTest, MissingStatusTextsBecomeWellFormedWords) {
  sender_.setStatusBits(kStatusAdd | kStatusDelete);
  zones_.zones.push_back(FakeZone{"resumed", true, 0, " - (1,2)-(3,4)", {}, {}});
  sender_.sendZoneStatus(kStatusAdd, "refused");  // the zone list did not take it
  sender_.sendZoneStatus(kStatusAdd, "resumed");
  sender_.sendGridStatus(kStatusDelete, "no grid");
  sender_.selectScript();
  sender_.sendZoneStatus(kStatusAdd, "refused");
  sender_.sendZoneStatus(kStatusAdd, "resumed");
  EXPECT_EQ(received(), (std::vector<std::string>{
                            "<zone name=\"refused\" status=\"Refused\">",
                            "<zone name=\"resumed\" status=\"Resumed - (1,2)-(3,4)\">",
                            "<grid name=\"no grid\" status=\"Refused\">",
                            "refused.Refused;",
                            "resumed.Resumed - (1,2)-(3,4);",
                        }));
}

TEST(MessageTextTest, ValuesShareTheRoomLeftByTheLiterals) {
  char out[16];
  // Both values cut, the first first; literals whole.
  EXPECT_EQ(composeMessage(out, {literal("<a=\""), value("0123456789"), literal("\" b=\""),
                                 value("xyz"), literal("\">")}),
            15u);
  EXPECT_STREQ(out, "<a=\"0123\" b=\"\">");
  // A value stops at an embedded NUL.
  EXPECT_EQ(composeMessage(out, {value(std::string_view("ab\0cd", 5)), literal(";")}), 3u);
  EXPECT_STREQ(out, "ab;");
  // Literals longer than the buffer are cut too, never written past it.
  char small[4];
  EXPECT_EQ(composeMessage(small, {literal("<hit name=\""), value("x")}), 3u);
  EXPECT_STREQ(small, "<hi");
  EXPECT_EQ(composeMessage(std::span<char>(), {literal("x")}), 0u);
  EXPECT_EQ(DecimalText(-2147483648LL).view(), "-2147483648");
}

}  // namespace
}  // namespace tessary
