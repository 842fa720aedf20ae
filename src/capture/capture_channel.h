// One camera's capture channel: polls the camera on a periodic timer, runs
// the detection step on each frame and hands the frame on.
//
// Each tick, on the timer's thread: the camera's newest frame goes through
// the detector, the current region manager evaluates it (its regions may
// fire their hit callbacks), then the tick callback and the frame callback
// run, in that order.
//
// Threads. The channel is configured from the main thread (and `start` also
// from the link's accept thread; its owner serialises start and stop). What
// the tick reads is safe against that:
//  - every operation that replaces or destroys what a tick uses (the source,
//    the detector, the region managers) halts the timer first, and halting
//    waits for a tick in progress; so `stop`, `setFps`, `setSource`,
//    `setDetectionMethod`, `init` and destruction must not be called while
//    holding a lock that the frame, tick or hit callbacks take;
//  - the current region manager and the two callbacks are handed to the tick
//    under `handoverLock_`, which is never held while calling out;
//  - detector settings (mode, colours, sensitivity) and region managers are
//    safe for concurrent use by themselves.
// A callback may stop the channel from inside the tick (the stop then does
// not wait for itself), but must not destroy it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "common/frame_source.h"
#include "common/member_callback.h"
#include "common/periodic_timer.h"

namespace tessary {

class CaptureChannel;
class DetectionInterface;
class MotionDetector;
class RegionManager;

// Called after each detection step.
using ChannelTickCallback = MemberCallback<>;
// Called last in each tick with the frame as the detector handed it on (its
// output picture), or null when the camera had no frame.
using ChannelFrameCallback = MemberCallback<const std::uint8_t*>;

// What `init` takes: the scale handed to every new region manager, two values
// kept for region managers (the controller passes 0, 0), and the camera
// (null allowed when the channel already has a source).
struct ChannelInitRecord {
  float scaleX = 1.0f;
  float scaleY = 1.0f;
  std::int32_t regionValueA = 0;
  std::int32_t regionValueB = 0;
  FrameSource* camera = nullptr;
};

inline constexpr std::int32_t kChannelDefaultFps = 25;
inline constexpr std::int32_t kChannelMinFps = 1;
inline constexpr std::int32_t kChannelMaxFps = 256;
inline constexpr std::int32_t kChannelRegionManagerSlots = 512;
// getOrientation's answer while the channel has no detector.
inline constexpr std::int32_t kChannelNoDetectorOrientation = 4;

// The control side of a channel: the subset of its operations that tune a
// running channel.
class ICaptureControl {
 public:
  virtual bool setFps(std::int32_t fps) = 0;
  virtual std::int32_t getFps() = 0;
  virtual void setSensitivity(std::int32_t percent) = 0;
  virtual std::int32_t getSensitivity() = 0;
  virtual RegionManager* createRegionManager() = 0;
  virtual bool selectRegionManager(RegionManager* manager) = 0;
  virtual void toggleFlip() = 0;
  virtual void toggleMirror() = 0;
  virtual std::int32_t getOrientation() = 0;
  virtual void setOrientation(std::int32_t mode) = 0;
  virtual void setFillColour(std::uint8_t flag, std::uint8_t red, std::uint8_t green,
                             std::uint8_t blue) = 0;
  virtual void setSecondColour(std::uint8_t flag, std::uint8_t red, std::uint8_t green,
                               std::uint8_t blue) = 0;
  virtual bool setTickCallback(ChannelTickCallback callback) = 0;

 protected:
  ~ICaptureControl() = default;
};

// Every operation of a channel.
class ICaptureChannel {
 public:
  virtual bool init(const ChannelInitRecord& record) = 0;
  virtual bool start() = 0;
  virtual bool stop() = 0;
  virtual bool setSource(FrameSource* camera) = 0;
  virtual bool setFps(std::int32_t fps) = 0;
  virtual std::int32_t getFps() = 0;
  virtual void setSensitivity(std::int32_t percent) = 0;
  virtual std::int32_t getSensitivity() = 0;
  virtual RegionManager* createRegionManager() = 0;
  virtual bool selectRegionManager(RegionManager* manager) = 0;
  virtual void toggleFlip() = 0;
  virtual void toggleMirror() = 0;
  virtual std::int32_t getOrientation() = 0;
  virtual void setOrientation(std::int32_t mode) = 0;
  virtual bool setDetectionMethod(std::int32_t method) = 0;
  virtual void setFillColour(std::uint8_t flag, std::uint8_t red, std::uint8_t green,
                             std::uint8_t blue) = 0;
  virtual void setSecondColour(std::uint8_t flag, std::uint8_t red, std::uint8_t green,
                               std::uint8_t blue) = 0;
  virtual bool setTickCallback(ChannelTickCallback callback) = 0;
  virtual bool setFrameCallback(ChannelFrameCallback callback) = 0;

 protected:
  ~ICaptureChannel() = default;
};

// The timer's client: runs its channel's tick and keeps the timer going.
class ChannelTimerCallback final : public TimerCallback {
 public:
  explicit ChannelTimerCallback(CaptureChannel& channel) : channel_(channel) {}
  bool fire() override;

 private:
  CaptureChannel& channel_;
};

class CaptureChannel final : public ICaptureChannel, public ICaptureControl {
 public:
  // `timerDevice` serves the channel's timer; tests pass one whose limits
  // keep the timer from ever firing and drive `tick` themselves.
  explicit CaptureChannel(TimerDevice& timerDevice = steadyTimerDevice());
  ~CaptureChannel();

  CaptureChannel(const CaptureChannel&) = delete;
  CaptureChannel& operator=(const CaptureChannel&) = delete;

  // Takes the camera (unless the record's is null and one is set already)
  // and the region parameters, and builds the detector. False when there is
  // no camera at all. Region managers made before stay (a repeated init must
  // neither leak them nor pull them from under their users).
  bool init(const ChannelInitRecord& record) override;
  // Starts ticking at the current rate. False without a source, before
  // `init`, or when the timer cannot run.
  bool start() override;
  // Halts ticking (waiting for a tick in progress unless called from one).
  bool stop() override;
  // Swaps in another camera of the same frame size and orientation; false
  // when it differs (nothing changes then) or is null (the channel is left
  // without a source).
  bool setSource(FrameSource* camera) override;

  // The rate in ticks per second, limited to 1..256; a running channel is
  // restarted at the new rate.
  bool setFps(std::int32_t fps) override;
  std::int32_t getFps() override;
  // Sensitivity in percent for the detector; getSensitivity gives back the
  // detector's level (-1 without a detector).
  void setSensitivity(std::int32_t percent) override;
  std::int32_t getSensitivity() override;
  // A new region manager in the first free of the 512 slots, made current;
  // null (and no current manager) when every slot is taken or before `init`.
  RegionManager* createRegionManager() override;
  // Makes one of this channel's region managers current; false (and no
  // current manager) for any other pointer.
  bool selectRegionManager(RegionManager* manager) override;
  // Invert the vertical (bit 1) or horizontal (bit 0) bit of the detector's
  // mode; nothing without a detector.
  void toggleFlip() override;
  void toggleMirror() override;
  // The detector's mode 0..3, or 4 without a detector.
  std::int32_t getOrientation() override;
  // Sets the detector's mode (its two low bits) and re-maps every region.
  void setOrientation(std::int32_t mode) override;
  // Rebuilds the detector: 0 plain, 1 neighbour-confirmed; any other method
  // leaves the channel without one. False (changing nothing) when the camera's
  // frame size no longer matches the detector's or cannot be read.
  bool setDetectionMethod(std::int32_t method) override;
  // The detector's fill colour and its highlight colour.
  void setFillColour(std::uint8_t flag, std::uint8_t red, std::uint8_t green,
                     std::uint8_t blue) override;
  void setSecondColour(std::uint8_t flag, std::uint8_t red, std::uint8_t green,
                       std::uint8_t blue) override;
  bool setTickCallback(ChannelTickCallback callback) override;
  bool setFrameCallback(ChannelFrameCallback callback) override;

  // One processing tick; the timer thread calls it. Does nothing unless the
  // channel is ready, running and has a source. Allocates nothing.
  void tick();

  bool isRunning() const { return running_.load(std::memory_order_acquire); }
  bool isReady() const { return ready_.load(std::memory_order_acquire); }
  FrameSource* source() const { return source_; }
  std::int32_t detectionMethod() const { return detectionMethod_; }
  RegionManager* currentRegionManager() const;
  // The timer's period in ms while running, else 0.
  std::uint32_t timerPeriod() const;

 private:
  void destroyDetector();
  void attachRegionManagers(DetectionInterface* input);
  bool anySlotHolds(const RegionManager* manager) const;

  TimerDevice& timerDevice_;
  // Written only while the timer is halted, so a tick never sees them change.
  FrameSource* source_ = nullptr;
  std::unique_ptr<ChannelTimerCallback> timerCallback_;
  std::unique_ptr<PeriodicTimer> timer_;
  std::unique_ptr<MotionDetector> detector_;
  DetectionInterface* detectorInput_ = nullptr;
  // The newest frame of the tick in progress (timer thread only).
  const std::uint8_t* frame_ = nullptr;

  std::atomic<bool> ready_{false};
  std::atomic<bool> running_{false};

  std::array<std::unique_ptr<RegionManager>, kChannelRegionManagerSlots> regionManagers_;
  // Guards the three values the tick copies at its start.
  mutable std::mutex handoverLock_;
  RegionManager* currentRegionManager_ = nullptr;
  ChannelTickCallback tickCallback_;
  ChannelFrameCallback frameCallback_;

  std::int32_t fps_ = kChannelDefaultFps;
  std::int32_t minFps_ = kChannelMinFps;
  std::int32_t maxFps_ = kChannelMaxFps;
  float regionScaleX_ = 1.0f;
  float regionScaleY_ = 1.0f;
  std::int32_t regionValueA_ = 0;
  std::int32_t regionValueB_ = 0;
  std::int32_t detectionMethod_ = 1;
  // The sensitivity last asked for, in percent, so that a rebuilt detector
  // gets the same level (the detector keeps only the converted level).
  std::int32_t sensitivityPercent_ = 10;
  bool mirrorApplied_ = false;
  bool flipApplied_ = false;
  // Set while the detector is rebuilt: its mode is then re-applied, and the
  // regions, already placed for that mode, must not be re-mapped.
  bool busy_ = false;
};

// Every channel of the process; destroying the list destroys them all.
// Used from the main thread only.
class CaptureChannelList {
 public:
  explicit CaptureChannelList(TimerDevice& timerDevice = steadyTimerDevice());
  ~CaptureChannelList();

  CaptureChannelList(const CaptureChannelList&) = delete;
  CaptureChannelList& operator=(const CaptureChannelList&) = delete;

  // A new channel, owned by the list.
  CaptureChannel* createChannel();
  std::int32_t count() const;
  // Destroys every channel (each is stopped first).
  void clear();

 private:
  TimerDevice& timerDevice_;
  std::vector<std::unique_ptr<CaptureChannel>> channels_;
};

}  // namespace tessary
