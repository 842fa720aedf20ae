// The WebSocket client's side of the core: its queues and bounds, the seat it
// shares with the TCP link, and the setup page's model of the zones.
#include "link/web_client_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "capture/camera_registry.h"
#include "capture/demo_capture_backend.h"
#include "link/login_deadline.h"
#include "link/setup_view.h"
#include "link/support/link_fakes.h"
#include "link/utf8_text.h"

namespace tessary::testing {
namespace {

std::string receiveShown(WebClientLink& link) {
  char buffer[TcpLink::kReceiveBufferSize];
  std::string text(buffer, link.receive(buffer));
  std::replace(text.begin(), text.end(), '\0', '|');
  return text;
}

TEST(WebClientLinkTest, HandsOverWholeTextsWithinBoundsAndResetsWhenTheClientGoes) {
  ClientSlot seat;
  RecordingLinkEvents events;
  WebClientLink link(seat, events);
  EXPECT_FALSE(link.send("nobody"));
  const WebSession session = link.open();
  ASSERT_NE(session, 0u);
  EXPECT_EQ(link.open(), 0u);  // one client at a time
  EXPECT_TRUE(link.isConnected());

  // Texts as the TCP link hands them over: each NUL-ended, as many as fit.
  EXPECT_TRUE(link.deliver(session, "a(1);b(2)"));
  EXPECT_TRUE(link.deliver(session, "c(3)"));
  EXPECT_EQ(receiveShown(link), "a(1);b(2)|c(3)|");
  const std::string big(1500, 'x');
  EXPECT_TRUE(link.deliver(session, big));
  EXPECT_TRUE(link.deliver(session, big));
  EXPECT_EQ(receiveShown(link), big + "|");
  EXPECT_EQ(receiveShown(link), big + "|");
  // A text longer than a read is cut where the read ends, as on TCP.
  EXPECT_TRUE(link.deliver(session, std::string(3000, 'y')));
  EXPECT_EQ(receiveShown(link), std::string(2047, 'y'));
  EXPECT_EQ(receiveShown(link), std::string(953, 'y') + "|");
  // A client sending faster than the ticks execute is refused.
  const std::string chunk(WebClientLink::kMaxPendingCommandBytes / 2, 'z');
  EXPECT_TRUE(link.deliver(session, chunk));
  EXPECT_TRUE(link.deliver(session, chunk));
  EXPECT_FALSE(link.deliver(session, "one more"));
  // An ended session's text is dropped; its transport is closing it.
  EXPECT_TRUE(link.deliver(session + 1, "an old session"));

  // Messages wait for the transport in order; a reader that falls behind
  // loses whole messages, never holding the sender.
  EXPECT_TRUE(link.send("first"));
  EXPECT_TRUE(link.send("cut\xE2\x82"));
  std::deque<std::string> taken;
  link.takeMessages(session, taken);
  EXPECT_EQ(taken, (std::deque<std::string>{"first", "cut\xEF\xBF\xBD\xEF\xBF\xBD"}));
  const std::string message(1000, 'm');
  std::size_t sent = 0;
  while (link.send(message)) ++sent;
  EXPECT_EQ(sent, WebClientLink::kMaxPendingMessageBytes / message.size());
  EXPECT_EQ(link.droppedMessages(), 1u);

  // The client goes: the next receive runs the reset, then frees the seat.
  link.close(session);
  EXPECT_TRUE(link.isConnected());
  EXPECT_EQ(receiveShown(link), "");
  EXPECT_FALSE(link.isConnected());
  EXPECT_EQ(events.calls(), (std::vector<std::string>{"clearAllZones", "stopCapture",
                                                     "resetReplies", "logOut",
                                                     "resetBlendFactors"}));
  EXPECT_EQ(seat.holder(), ClientKind::kNone);
  const WebSession next = link.open();
  EXPECT_GT(next, session);
  taken.clear();
  link.takeMessages(next, taken);
  EXPECT_TRUE(taken.empty());  // nothing of the last client's
}

// The TCP and the WebSocket client taking turns at the one seat is checked
// end to end, with the program and a browser, in tests/web/browser_test.py.

TEST(LoginDeadlineTest, EachTurnAtTheSeatMustLogInInTimeOnce) {
  using namespace std::chrono_literals;
  ClientSlot seat;
  LoginDeadline deadline(seat, 1s);
  const auto later = [&] { return seat.turn().since + 1s; };
  EXPECT_FALSE(deadline.passed(false, std::chrono::steady_clock::now() + 1h));  // nobody there
  ASSERT_TRUE(seat.tryClaim(ClientKind::kTcp));
  EXPECT_FALSE(deadline.passed(false, seat.turn().since + 999ms));
  EXPECT_TRUE(deadline.passed(false, later()));
  EXPECT_FALSE(deadline.passed(false, later() + 1s));  // told once; the reset follows
  seat.release(ClientKind::kTcp);

  // A client that logged in in time keeps the seat, whatever comes later.
  ASSERT_TRUE(seat.tryClaim(ClientKind::kWeb));
  EXPECT_FALSE(deadline.passed(true, seat.turn().since + 10ms));
  EXPECT_FALSE(deadline.passed(false, later() + 1h));
  seat.release(ClientKind::kWeb);
  // The next one has a time of its own; 0 is no deadline at all.
  ASSERT_TRUE(seat.tryClaim(ClientKind::kTcp));
  EXPECT_TRUE(deadline.passed(false, later()));
  LoginDeadline none(seat, 0s);
  EXPECT_FALSE(none.passed(false, later() + 1h));
}

TEST(Utf8TextTest, KeepsWellFormedTextAndReplacesEveryBadByte) {
  std::string out;
  appendValidUtf8(out, "plain \xC3\xA9 \xF0\x9F\x99\x82");
  EXPECT_EQ(out, "plain \xC3\xA9 \xF0\x9F\x99\x82");
  out.clear();
  // Latin-1, an overlong form, a surrogate, a lone continuation byte.
  appendValidUtf8(out, "\xE9|\xC0\xAF|\xED\xA0\x80|\x80");
  EXPECT_EQ(out, "\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD");
}

class SetupViewTest : public ::testing::Test {
 protected:
  SetupViewTest() {
    EXPECT_TRUE(controller_.initialize(std::make_unique<CameraRegistry>(makeDemoCaptureBackend())));
  }
  ~SetupViewTest() override { controller_.shutdown(); }

  // No pixels; drawn as the controller draws it, until the test turns it.
  class TurnedPicture final : public PictureSource {
   public:
    PictureFrame currentPicture() const override { return PictureFrame{{}, turn}; }
    Orientation turn{.mirrored = true};
  };

  VideoController controller_;
  TurnedPicture pictures_;
  HitTally hits_;
  SetupView view_{controller_, pictures_, hits_};
};

TEST_F(SetupViewTest, ZonesAppearWhereThePictureShowsThem) {
  controller_.setScale(320, 240);
  controller_.addZone("door \"1\"", 40, 100, 240, 40);
  controller_.addZone("idle", 0, 0, 60, 40);
  controller_.setZoneActive("idle", false);
  controller_.addZone("rest", 300, 200, 100, 100);  // clamped to the client area
  controller_.pauseZone("rest", 5000);
  deliverHits(hits_, {"door \"1\""});
  deliverHits(hits_, {"door \"1\""});

  const SetupClientState client{ClientKind::kWeb, true};
  EXPECT_EQ(view_.stateJson(client),
            "{\"frame\":[160,120],\"client\":\"websocket\",\"loggedIn\":true,\"zones\":["
            "{\"id\":0,\"name\":\"door \\\"1\\\"\",\"x\":20,\"y\":50,\"w\":120,\"h\":20,"
            "\"client\":[40,100,240,40],\"hits\":2,\"motion\":0,\"state\":\"active\"},"
            "{\"id\":1,\"name\":\"idle\",\"x\":0,\"y\":0,\"w\":30,\"h\":20,"
            "\"client\":[0,0,60,40],\"hits\":0,\"motion\":0,\"state\":\"inactive\"},"
            "{\"id\":2,\"name\":\"rest\",\"x\":150,\"y\":100,\"w\":10,\"h\":20,"
            "\"client\":[300,200,100,100],\"hits\":0,\"motion\":0,\"state\":\"paused\"}]}");

  // The tray's Mirror and Flip turn the picture, not the zones: the page
  // follows each zone to where the picture now shows it.
  pictures_.turn = Orientation{.flipped = true};
  const std::string turned = view_.stateJson(client);
  EXPECT_NE(turned.find("\"name\":\"idle\",\"x\":130,\"y\":100,"), std::string::npos) << turned;
  EXPECT_NE(turned.find("\"name\":\"rest\",\"x\":0,\"y\":0,"), std::string::npos) << turned;
  controller_.deleteZone("idle");
  EXPECT_EQ(view_.stateJson(client).find("idle"), std::string::npos);
  // An installation's zones file holds the seat as a client does.
  EXPECT_TRUE(view_.stateJson(SetupClientState{ClientKind::kFile, true})
                  .starts_with("{\"frame\":[160,120],\"client\":\"file\",\"loggedIn\":true,"));

  EXPECT_EQ(jsonString("a\x01\xE9\\"), "\"a\\u0001\\u00e9\\\\\"");
}

}  // namespace
}  // namespace tessary::testing
