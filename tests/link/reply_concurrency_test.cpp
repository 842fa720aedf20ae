// Hits from detection threads and replies from the main thread share one
// link; run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

#include "link/reply_sender.h"
#include "link/support/link_fakes.h"
#include "support/test_client.h"
#include "link/tcp_link.h"
#include "link/video_controller_zone_queries.h"
#include "link/support/platform_sockets.h"

namespace tessary::testing {
namespace {

class ReplyConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(connectTo(link_, client_)); }

  PlatformSockets sockets_;
  RecordingLinkEvents events_;
  TcpLink link_{sockets_, events_, 0};
  VideoController controller_;
  VideoControllerZoneQueries zones_{controller_};
  DisplayState display_;
  CountingOverlay overlay_;
  ReplySender sender_{link_, zones_, display_, overlay_};
  TestClient client_;
};

TEST_F(ReplyConcurrencyTest, HitsAndRepliesNeverMix) {
  constexpr int kCount = 1000;
  const std::string error(200, 'e');

  std::map<std::string, int> seen;
  std::thread reader([&] {
    while (auto text = client_.nextText(5s)) {
      if (*text == "end") break;
      ++seen[*text];
    }
  });

  std::atomic<bool> go{false};
  auto hits = [&](const char* name) {
    while (!go.load()) std::this_thread::yield();
    for (int i = 0; i < kCount; ++i) deliverHits(sender_, {name});
  };
  std::thread left(hits, "left");
  std::thread right(hits, "right");
  go.store(true);
  char buffer[TcpLink::kReceiveBufferSize];
  for (int i = 0; i < kCount; ++i) {
    sender_.sendError(error);
    sender_.setStatusBits(kStatusSensitivity);
    sender_.clearStatusBits(kStatusSensitivity);
    link_.receive(buffer);
  }
  left.join();
  right.join();
  link_.send("end");
  reader.join();

  EXPECT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen["<hit name=\"left\">"], kCount);
  EXPECT_EQ(seen["<hit name=\"right\">"], kCount);
  EXPECT_EQ(seen["<error content=\"" + error + "\">"], kCount);
}

TEST_F(ReplyConcurrencyTest, ClientLeavingWhileHitsAreSentIsSafe) {
  std::atomic<bool> stop{false};
  std::thread detection([&] {
    while (!stop.load()) {
      deliverHits(sender_, {"door"});
      std::this_thread::sleep_for(100us);
    }
  });
  ASSERT_TRUE(client_.nextText().has_value());
  client_.close();
  char buffer[TcpLink::kReceiveBufferSize];
  ASSERT_TRUE(waitUntil([&] {
    link_.receive(buffer);
    return !link_.isConnected();
  }));

  TestClient next;
  ASSERT_TRUE(connectTo(link_, next));
  for (int i = 0; i < 50; ++i) ASSERT_EQ(next.nextText(), "<hit name=\"door\">");
  stop.store(true);
  detection.join();
}

}  // namespace
}  // namespace tessary::testing
