#include "shell/tick_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessary {
namespace {

class RecordingSteps final : public ShellSteps {
 public:
  void pollCommands() override { calls.push_back("poll"); }
  void tickPauseTimers() override { calls.push_back("pause"); }
  void sendMotionEvents() override { calls.push_back("motion"); }
  bool hasClient() override { return connected; }
  void startCapture() override { calls.push_back("start"); }
  void stopCapture() override { calls.push_back("stop"); }
  void presentOverlay() override { calls.push_back("present"); }
  void trackWatchedWindow() override { calls.push_back("track"); }

  bool connected = false;
  std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

TEST(TickLoopTest, FrameTickRunsItsStepsInOrderForEachState) {
  RecordingSteps steps;
  TickLoop loop(steps);

  loop.frameTick();  // in the tray, no client
  EXPECT_EQ(steps.calls, (Calls{"poll", "pause", "motion", "stop"}));

  steps.calls.clear();
  steps.connected = true;
  loop.frameTick();
  EXPECT_EQ(steps.calls, (Calls{"poll", "pause", "motion", "start", "present"}));

  steps.calls.clear();
  loop.setInTray(false);  // shown: capture runs, the overlay is not fed
  loop.frameTick();
  EXPECT_EQ(steps.calls, (Calls{"poll", "pause", "motion", "start"}));
}

TEST(TickLoopTest, SlowTickTracksAndHaltStopsBothTicks) {
  RecordingSteps steps;
  TickLoop loop(steps);
  loop.slowTick();
  EXPECT_EQ(steps.calls, (Calls{"track"}));

  loop.halt();
  loop.frameTick();
  loop.slowTick();
  EXPECT_EQ(steps.calls, (Calls{"track"}));
  EXPECT_TRUE(loop.halted());
}

}  // namespace
}  // namespace tessary
