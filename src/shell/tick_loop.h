// The shell's clock: what the frame tick and the slow tick do, in order.
//
// The steps themselves live behind ShellSteps so the order can be checked
// without cameras, sockets or a display; the Qt host only calls frameTick()
// and slowTick() from its two timers.
#pragma once

#include <chrono>

namespace tessary {

// The two periodic timers, kept under their historical identifiers.
struct TickTimer {
  int id;
  std::chrono::milliseconds period;
};
inline constexpr TickTimer kFrameTickTimer{175, std::chrono::milliseconds(66)};
inline constexpr TickTimer kSlowTickTimer{176, std::chrono::milliseconds(500)};

class ShellSteps {
 public:
  virtual void pollCommands() = 0;       // the interpreter reads and executes statements
  virtual void tickPauseTimers() = 0;    // zone pause countdowns
  virtual void sendMotionEvents() = 0;   // the reply sender's motion pass
  virtual bool hasClient() = 0;
  virtual void startCapture() = 0;       // does nothing while capture runs
  virtual void stopCapture() = 0;        // does nothing while capture is stopped
  virtual void presentOverlay() = 0;
  virtual bool hasViewers() = 0;         // a setup page is watching the picture
  virtual void feedViewers() = 0;        // the newest picture and zones to the page
  virtual void trackWatchedWindow() = 0;  // the slow tick's only step

 protected:
  ~ShellSteps() = default;
};

class TickLoop {
 public:
  explicit TickLoop(ShellSteps& steps) : steps_(steps) {}

  // Commands, pause countdowns, motion events, then capture and overlay,
  // then the setup page's picture.
  void frameTick();
  void slowTick();

  // The main window is shown only once Exit has taken the icon away; capture
  // then keeps running without an overlay for the last ticks.
  void setInTray(bool inTray) { inTray_ = inTray; }
  bool inTray() const { return inTray_; }

  // After halt() no tick does anything: shut-down must never race a tick.
  void halt() { halted_ = true; }
  bool halted() const { return halted_; }

 private:
  ShellSteps& steps_;
  bool inTray_ = true;
  bool halted_ = false;
};

}  // namespace tessary
