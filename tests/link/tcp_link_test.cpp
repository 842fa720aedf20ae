#include "link/tcp_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "link/support/link_fakes.h"
#include "support/test_client.h"
#include "link/support/platform_sockets.h"

namespace tessary::testing {
namespace {

class TcpLinkTest : public ::testing::Test {
 protected:
  // Polls like the frame tick until something arrives.
  std::string receive() {
    char buffer[TcpLink::kReceiveBufferSize];
    std::string received;
    waitUntil([&] {
      received.assign(buffer, link_.receive(buffer));
      return !received.empty();
    });
    return received;
  }
  // Polls until the link has reset for a gone client (one from the backlog
  // may be connected again at once).
  void pollUntilGone() {
    const std::size_t resetsBefore = events_.count("resetBlendFactors");
    char buffer[TcpLink::kReceiveBufferSize];
    ASSERT_TRUE(waitUntil([&] {
      link_.receive(buffer);
      return events_.count("resetBlendFactors") > resetsBefore;
    }));
  }

  PlatformSockets sockets_;
  RecordingLinkEvents events_;
  TcpLink link_{sockets_, events_, 0};
};

TEST_F(TcpLinkTest, ServesOneClientAndResetsInOrderWhenItGoes) {
  char buffer[64];
  EXPECT_EQ(link_.receive(buffer), 0u);
  EXPECT_FALSE(link_.send("nobody there"));
  EXPECT_EQ(link_.lastError().context.view(), "Send data.");
  TcpLink taken(sockets_, events_, link_.port());
  EXPECT_FALSE(taken.isListening());
  EXPECT_EQ(taken.lastError().context.view(), "Bind server socket.");

  TestClient client;
  ASSERT_TRUE(connectTo(link_, client));
  ASSERT_TRUE(client.send("login(code)"));
  EXPECT_EQ(receive(), std::string("login(code)\0", 12));
  ASSERT_TRUE(link_.send("<login status=\"successful\">"));
  EXPECT_EQ(client.nextText(), "<login status=\"successful\">");

  client.stopSending();  // gone for the link, but still listening
  pollUntilGone();
  EXPECT_TRUE(client.waitForClose());  // the link closed its data socket
  EXPECT_EQ(events_.calls(),
            (std::vector<std::string>{"clientConnected", "clearAllZones", "stopCapture",
                                      "resetReplies", "logOut", "resetBlendFactors"}));
  EXPECT_EQ(link_.lastError().context.view(), "Get data.");
}

TEST_F(TcpLinkTest, SecondClientWaitsInTheBacklogUntilTheFirstGoes) {
  TestClient first;
  ASSERT_TRUE(connectTo(link_, first));
  TestClient second;
  ASSERT_TRUE(second.connect(link_.port()));
  ASSERT_TRUE(second.send("from second"));
  ASSERT_TRUE(first.send("from first"));

  EXPECT_EQ(receive(), std::string("from first\0", 11));
  char buffer[TcpLink::kReceiveBufferSize];
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(link_.receive(buffer), 0u);  // the second is not served yet
  ASSERT_TRUE(link_.send("to first"));
  EXPECT_EQ(first.nextText(), "to first");
  EXPECT_EQ(second.nextText(100ms), std::nullopt);

  // What the reset sends while the second client is already accepted must not reach it.
  events_.onResetReplies = [this] { link_.send("<motion status=\"true\">"); };
  first.close();
  // Sending to a gone client fails, without a SIGPIPE ending the program.
  bool failed = false;
  for (int attempt = 0; attempt < 50 && !failed; ++attempt) {
    failed = !link_.send("hit");
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(failed);
  EXPECT_EQ(link_.lastError().context.view(), "Send data.");
  pollUntilGone();
  ASSERT_TRUE(waitUntil([&] { return link_.isConnected(); }));
  EXPECT_EQ(receive(), std::string("from second\0", 12));
  ASSERT_TRUE(link_.send("to second"));
  EXPECT_EQ(second.nextText(), "to second");
  // The accept thread marks the link connected before it reports the client.
  EXPECT_TRUE(waitUntil([&] { return events_.count("clientConnected") == 2u; }));
}

// Counts the texts the link traces as dropped.
struct DropTrace {
  void onText(TraceDirection direction, std::string_view) {
    if (direction == TraceDirection::kDropped) ++dropped;
  }
  std::atomic<int> dropped{0};
};

TEST_F(TcpLinkTest, AClientThatStopsReadingLosesWholeMessagesOnlyAndHoldsNoSender) {
  TestClient client;
  client.setReceiveBufferSize(2048);
  ASSERT_TRUE(connectTo(link_, client));
  DropTrace trace;
  link_.setProtocolTrace(ProtocolTrace::bind(&trace, &DropTrace::onText));
  // A pass's messages go as one batch.
  ASSERT_TRUE(link_.sendBatch(std::string_view("<hit name=\"a\">\0<hit name=\"b\">\0", 30)));
  EXPECT_EQ(client.nextText(), "<hit name=\"a\">");
  EXPECT_EQ(client.nextText(), "<hit name=\"b\">");

  // Fill every buffer between us and the client and the link's queue; no
  // send waits for the client, so this loop ends whatever the client does.
  std::vector<std::string> sent;
  int failures = 0;
  for (int i = 0; failures < 3 && i < 100000; ++i) {
    std::string text = "<hit name=\"zone" + std::to_string(i) + "\">" + std::string(200, 'p');
    if (link_.send(text)) {
      sent.push_back(text);
    } else {
      ++failures;
    }
  }
  ASSERT_EQ(failures, 3);
  EXPECT_EQ(link_.droppedMessages(), 3u);
  EXPECT_EQ(trace.dropped, 3);

  // Once the client reads again, every text taken arrives whole and in order.
  std::vector<std::string> received = client.textsUntilQuiet(500ms);
  ASSERT_TRUE(link_.send("after"));
  std::vector<std::string> rest = client.textsUntilQuiet(300ms);
  received.insert(received.end(), rest.begin(), rest.end());
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.back(), "after");
  received.pop_back();
  EXPECT_EQ(received, sent);
  link_.setProtocolTrace({});
}

}  // namespace
}  // namespace tessary::testing
