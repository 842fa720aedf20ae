// The Linux program's cameras through GStreamer, end to end, without a
// camera: test sources at 640 x 480 and 1280 x 720, a video file the test
// encodes, and a network stream that ends, fails and comes back. Each picture
// moves only in its bottom-right quarter; a client's four quarter zones must
// see hits in that quarter alone. The client sees the camera's usual view,
// mirrored like a looking glass, so that quarter is its bottom-left zone.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "shell/program_under_test.h"
#include "support/child_process.h"
#include "support/outside_programs.h"
#include "support/temp_folder.h"
#include "support/test_client.h"
#include "support/wait_until.h"

namespace tessary {
namespace {

using namespace tessary::testing;

constexpr const char* kZones =
    ";display_size(160,120);add(tl,0,0,80,60);add(tr,80,0,80,60);add(bl,0,60,80,60);add(br,80,60,80,60)";
constexpr const char* kMovingZone = "bl";

// Fails naming the package when GStreamer lacks `element`.
bool requireElement(const std::string& element, const std::string& package) {
  ChildProcess probe;
  if (probe.start({"gst-inspect-1.0", "--exists", element}) && probe.wait(30s) == 0) return true;
  ADD_FAILURE() << "the GStreamer element " << element << " is missing: install " << package
                << " (tools/install-deps.sh installs it)";
  return false;
}

// A black picture of width x height whose bottom-right quarter is coarse grey
// noise, new on every frame: detection counts a changed pixel only where it
// also stands out from a neighbour, and the noise's 8 x 8 blocks survive the
// scaling into the frame as 2 x 2 blocks (4 x 4 at 1280 x 720: 6 x 6).
std::string movingPicture(int width, int height, const std::string& frames = "") {
  const std::string count = frames.empty() ? "" : " num-buffers=" + frames;
  const std::string quarter = "width=" + std::to_string(width / 2) + ",height=" + std::to_string(height / 2);
  const std::string whole = "width=" + std::to_string(width) + ",height=" + std::to_string(height);
  return "videotestsrc pattern=black" + count + " ! video/x-raw," + whole + ",framerate=15/1 ! c.sink_0 " +
         "videotestsrc pattern=snow" + count + " ! video/x-raw,width=" + std::to_string(width / 16) +
         ",height=" + std::to_string(height / 16) + ",framerate=15/1 ! videoscale method=nearest-neighbour ! " +
         "video/x-raw," + quarter + " ! c.sink_1 compositor name=c sink_1::xpos=" + std::to_string(width / 2) +
         " sink_1::ypos=" + std::to_string(height / 2) + " ! video/x-raw," + whole;
}

class CameraSourcesTest : public ProgramFixture {
 protected:
  void SetUp() override {
    const std::string missing = missingPrograms({"gst-launch-1.0", "gst-inspect-1.0", "python3"});
    ASSERT_TRUE(missing.empty()) << missing;
    ProgramFixture::SetUp();
  }

  unsigned start(ChildProcess& server, const std::string& camera) {
    return startProgram(server,
                        {"--headless", "--port", "0", "--web-port", "off", "--code-file", codeFile_, "--camera", camera},
                        environment());
  }

  // Hits per zone name within `duration`.
  static std::map<std::string, int> hits(TestClient& client, std::chrono::milliseconds duration) {
    std::map<std::string, int> counts;
    for (const std::string& message : client.collect(duration)) {
      constexpr std::string_view kHit = "<hit name=\"";
      if (message.starts_with(kHit)) ++counts[message.substr(kHit.size(), message.size() - kHit.size() - 2)];
    }
    return counts;
  }

  static void expectHitsOnlyWhereItMoves(const std::map<std::string, int>& counts, int least,
                                         const std::string& what) {
    for (const auto& [zone, count] : counts) {
      if (zone != kMovingZone) ADD_FAILURE() << what << ": " << count << " hits in still zone " << zone;
    }
    EXPECT_GE(counts.contains(kMovingZone) ? counts.at(kMovingZone) : 0, least) << what;
  }
};

TEST_F(CameraSourcesTest, TestSourcesOfAnySizeAreScaledWholeAndHitWhereTheyMove) {
  ASSERT_TRUE(requireElement("compositor", "gstreamer1.0-plugins-base"));
  for (auto [width, height] : {std::pair{640, 480}, std::pair{1280, 720}}) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    SCOPED_TRACE(size);
    ChildProcess server;
    unsigned port = start(server, "gst:" + movingPicture(width, height));
    ASSERT_NE(port, 0u) << server.errorOutput();
    TestClient client;
    ASSERT_NO_FATAL_FAILURE(logIn(client, port, kZones));
    // Capture starts with the client; the camera says what it opened.
    EXPECT_TRUE(waitUntil([&] { return server.errorOutput().find(size) != std::string::npos; }, 10s))
        << server.errorOutput();
    EXPECT_NE(server.errorOutput().find("scaled to 160 x 120"), std::string::npos);
    expectHitsOnlyWhereItMoves(hits(client, 2500ms), 10, size);
    EXPECT_EQ(endProgram(server, environment()), 0) << server.errorOutput();
  }
}

TEST_F(CameraSourcesTest, AVideoFileLoopsAtItsOwnRate) {
  const std::string launch = "gst-launch-1.0";
  ASSERT_TRUE(requireElement("avenc_mpeg4", "gstreamer1.0-libav"));
  // 45 frames at 15 fps: a 3 s clip in MPEG-4 part 2, the codec of many
  // cameras' and phones' older files, in Matroska.
  const std::string clip = files_.file("clip.mkv");
  ChildProcess encoder;
  ASSERT_TRUE(encoder.start({"sh", "-c", launch + " -q " + movingPicture(640, 480, "45") +
                                             " ! videoconvert ! avenc_mpeg4 bitrate=8000000 ! matroskamux ! "
                                             "filesink location=" + clip}));
  ASSERT_EQ(encoder.wait(60s), 0) << encoder.errorOutput();

  ChildProcess server;
  unsigned port = start(server, clip);
  ASSERT_NE(port, 0u) << server.errorOutput();
  TestClient client;
  ASSERT_NO_FATAL_FAILURE(logIn(client, port, kZones));
  const std::map<std::string, int> first = hits(client, 3s);
  // Past the clip's end it starts over: hits go on.
  const std::map<std::string, int> looped = hits(client, 3s);
  expectHitsOnlyWhereItMoves(first, 10, "first pass");
  expectHitsOnlyWhereItMoves(looped, 10, "after the loop");
  // At its own rate, not as fast as it decodes: at most one hit per frame.
  EXPECT_LE(first.contains(kMovingZone) ? first.at(kMovingZone) : 0, 3 * 16);
  EXPECT_EQ(server.errorOutput().find("lost"), std::string::npos) << server.errorOutput();
  EXPECT_EQ(endProgram(server, environment()), 0) << server.errorOutput();
}

// A stream over HTTP that ends, whose server then goes away and comes back:
// reported once, tried again, and hits resume without a restart.
TEST_F(CameraSourcesTest, AStreamThatEndsAndFailsIsTriedAgainUntilItReturns) {
  const std::string launch = "gst-launch-1.0";
  const std::string python = "python3";
  ASSERT_TRUE(requireElement("souphttpsrc", "gstreamer1.0-plugins-good"));
  const std::string folder = files_.file("served");
  std::filesystem::create_directories(folder);
  ChildProcess encoder;
  ASSERT_TRUE(encoder.start({"sh", "-c", launch + " -q " + movingPicture(640, 480, "45") +
                                             " ! videoconvert ! jpegenc ! matroskamux ! filesink location=" +
                                             folder + "/clip.mkv"}));
  ASSERT_EQ(encoder.wait(60s), 0) << encoder.errorOutput();

  auto serve = [&](ChildProcess& web, const std::string& port) {
    EXPECT_TRUE(web.start({python, "-u", "-m", "http.server", "--bind", "127.0.0.1", "--directory", folder, port}));
    std::optional<std::string> line = web.readLine(10s);
    EXPECT_TRUE(line.has_value()) << web.errorOutput();
    // "Serving HTTP on 127.0.0.1 port N (http://127.0.0.1:N/) ..."
    const std::size_t at = line ? line->find(" port ") : std::string::npos;
    return at == std::string::npos ? std::string() : line->substr(at + 6, line->find(' ', at + 6) - at - 6);
  };
  auto web = std::make_unique<ChildProcess>();
  const std::string webPort = serve(*web, "0");
  ASSERT_FALSE(webPort.empty());

  ChildProcess server;
  unsigned port = start(server, "http://127.0.0.1:" + webPort + "/clip.mkv");
  ASSERT_NE(port, 0u) << server.errorOutput();
  TestClient client;
  ASSERT_NO_FATAL_FAILURE(logIn(client, port, kZones));
  expectHitsOnlyWhereItMoves(hits(client, 1500ms), 5, "before the end");
  // The 3 s clip ends; the server goes away too, so the next tries fail.
  web.reset();
  EXPECT_TRUE(waitUntil([&] { return server.errorOutput().find("lost: ") != std::string::npos; }, 10s))
      << server.errorOutput();
  hits(client, 300ms);  // what came before the loss and waited to be read
  const std::map<std::string, int> whileLost = hits(client, 4s);
  EXPECT_TRUE(whileLost.empty()) << "no picture, no motion\n" << server.errorOutput();

  ChildProcess again;
  ASSERT_EQ(serve(again, webPort), webPort);
  EXPECT_TRUE(waitUntil([&] { return server.errorOutput().find("is back") != std::string::npos; }, 15s))
      << server.errorOutput();
  expectHitsOnlyWhereItMoves(hits(client, 1500ms), 5, "after its return");
  const std::string said = server.errorOutput();
  std::size_t losses = 0;
  for (std::size_t at = said.find("lost: "); at != std::string::npos; at = said.find("lost: ", at + 1)) ++losses;
  EXPECT_EQ(losses, 1u) << "said once, however often it is tried:\n" << said;
  EXPECT_EQ(endProgram(server, environment()), 0) << said;
}

TEST_F(CameraSourcesTest, SourcesThatCannotBeUsedAreRefusedAtStartUpWithTheReason) {
  const std::pair<std::string, std::string> cases[] = {
      {"No Such Camera", "no camera, file or stream of that name"},
      {"gst:nosuchelement", "the pipeline cannot be made"},
      {"gst:", "gst: needs a pipeline"},
      {"raw:", "raw: needs a file path"},
  };
  for (const auto& [camera, reason] : cases) {
    ChildProcess server;
    ASSERT_TRUE(server.start(programArguments({"--headless", "--port", "0", "--web-port", "off", "--code-file",
                                               codeFile_, "--camera", camera}),
                             environment()));
    EXPECT_EQ(server.wait(10s), 1) << camera;
    EXPECT_NE(server.errorOutput().find(reason), std::string::npos) << server.errorOutput();
  }
}

}  // namespace
}  // namespace tessary
