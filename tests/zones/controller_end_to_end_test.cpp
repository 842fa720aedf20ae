// End to end on the controller's own threads: motion inside a zone fires it,
// as a rule by the second processing tick after the frame reached the camera;
// zones without motion never fire.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "capture/camera_registry.h"
#include "capture/demo_capture_backend.h"
#include "capture/raw_capture_backend.h"
#include "zones/controller_test_support.h"
#include "zones/video_controller.h"

namespace tessary::testing {
namespace {

class EndToEnd : public ::testing::Test {
 protected:
  ~EndToEnd() override {
    controller.shutdown();
    if (!rawPath.empty()) std::filesystem::remove(rawPath);
  }

  void startWith(std::unique_ptr<CaptureBackend> backend) {
    controller.eventSinks().add(log);
    auto relay = std::make_unique<RelayCaptureBackend>(std::move(backend), &log);
    ASSERT_TRUE(controller.initialize(std::make_unique<CameraRegistry>(std::move(relay))));
  }

  // Runs 30 ticks with a band zone (every two distinct frames differ inside
  // it) and quiet zones, then checks that samples arriving after the band's
  // first full tick (p > settled) are followed by a band hit recorded at p or
  // p + 1, and that the quiet zones never fire. A tick the scheduler delays
  // on a loaded machine may take a frame one tick late, so a few late hits
  // are allowed; a pipeline that loses or delays frames as a rule is not.
  void expectBandFiresWithinTwoTicks(int bandY, int bandHeight, std::vector<std::vector<int>> quiet) {
    controller.cameras().startCapture();
    ASSERT_TRUE(waitForFrames(controller, 3));  // past the first frame's start-up
    const std::uint64_t settled = controller.picture().processedFrames();
    auto add = [&](const std::string& name, const std::vector<int>& r) {
      const std::int32_t id = controller.addZone(name, r[0], r[1], r[2], r[3]);
      controller.setZoneThreshold(name, 1);  // one percent of the area
      return id;
    };
    const std::int32_t band = add("band", {0, bandY, kFrameWidth, bandHeight});
    std::vector<std::int32_t> quietIds;
    for (const auto& r : quiet) quietIds.push_back(add(std::string(1, 'q').append(std::to_string(quietIds.size())), r));
    ASSERT_TRUE(waitForFrames(controller, settled + 30));
    controller.cameras().stopCapture();

    const std::uint64_t end = controller.picture().processedFrames();
    const std::vector<TickLog::Hit> hits = log.hits();
    int checked = 0;
    std::vector<std::uint64_t> late;
    for (std::uint64_t p : log.arrivals()) {
      if (p <= settled || p + 2 > end) continue;
      ++checked;
      const bool onTime = std::any_of(hits.begin(), hits.end(), [&](const TickLog::Hit& hit) {
        return hit.zoneId == band && (hit.processed == p || hit.processed == p + 1);
      });
      if (!onTime) late.push_back(p);
    }
    EXPECT_GE(checked, 10);
    EXPECT_LE(late.size() * 5, static_cast<std::size_t>(checked))
        << late.size() << " of " << checked << " arrivals had no band hit within two ticks, first at "
        << (late.empty() ? 0 : late.front());
    for (const TickLog::Hit& hit : hits) EXPECT_EQ(std::count(quietIds.begin(), quietIds.end(), hit.zoneId), 0);
  }

  VideoController controller;
  TickLog log{controller};
  std::filesystem::path rawPath;
};

TEST_F(EndToEnd, DemoCameraFiresZonesInItsMotionBandOnly) {
  startWith(makeDemoCaptureBackend());
  expectBandFiresWithinTwoTicks(
      kDemoMotionTop, kDemoObjectSize,
      {{0, 0, kFrameWidth, kDemoMotionTop - 4},
       {0, kDemoMotionBottom + 4, kFrameWidth, kFrameHeight - kDemoMotionBottom - 4}});
}

TEST_F(EndToEnd, RawFileWithAMovingBlockFiresTheBandOnly) {
  // Twelve top-down pictures, the block moving along picture rows 50 to 61;
  // zone rows 48 to 63 cover it whichever way the picture is flipped. In the
  // working (build) directory, so that builds can run side by side.
  rawPath = std::filesystem::current_path() / "tessary_controller_test.raw";
  std::ofstream file(rawPath, std::ios::binary);
  for (int i = 0; i < 12; ++i) {
    const std::vector<std::uint8_t> picture = texturedPicture(4 + 12 * i, 50, 12);
    file.write(reinterpret_cast<const char*>(picture.data()), static_cast<std::streamsize>(picture.size()));
  }
  file.close();
  startWith(makeRawCaptureBackend(rawPath.string()));
  expectBandFiresWithinTwoTicks(48, 16, {{0, 90, kFrameWidth, 30}});
}

}  // namespace
}  // namespace tessary::testing
