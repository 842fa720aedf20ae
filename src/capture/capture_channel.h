// One camera's capture channel: runs the detection step on each frame as it
// arrives, on the channel's own thread, and hands the pass on.
//
// The frame path through a channel:
//  1. The camera's streaming thread calls onFrame(). FramePacing decides
//     whether the frame is processed; an admitted frame is copied into the
//     FrameQueue, which wakes the channel's thread. Nothing else runs on the
//     streaming thread, so detection never holds the camera up.
//  2. The channel's thread takes the frames in order, each once: the
//     detector processes it, the region manager evaluates every region, and
//     the pass callback gets the output picture and the regions that fired,
//     all in one call. While no frame comes the thread sleeps.
//
// Threads. The channel is configured from one thread at a time (the main
// thread, or the link's accept thread for start and stop; the owner
// serialises them). stop() waits for a pass in progress, so it must not be
// called with a lock held that the pass callback takes; called from inside
// the pass callback, it stops the channel without waiting for itself. The
// region manager and the detector's mode are safe for concurrent use by
// themselves.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "capture/frame_pacing.h"
#include "capture/frame_queue.h"
#include "common/frame.h"
#include "common/frame_source.h"
#include "common/member_callback.h"
#include "common/thread_annotations.h"

namespace tessary {

class MotionDetector;
class RegionManager;

// One detection pass, as the channel hands it on.
struct DetectionPass {
  // The detector's output picture, width x height x 4 bytes, rows as the
  // camera delivers them; valid during the call.
  const std::uint8_t* picture = nullptr;
  // Slot indices of the regions that fired on this frame, ascending.
  std::span<const std::int32_t> firedRegions;
  FrameStamp stamp;  // the frame's count at the channel and its arrival time
};
using ChannelPassCallback = MemberCallback<const DetectionPass&>;

inline constexpr std::int32_t kChannelProcessingRate = 15;

class CaptureChannel final : public FrameConsumer {
 public:
  explicit CaptureChannel(std::int32_t processingRate = kChannelProcessingRate);
  ~CaptureChannel();
  CaptureChannel(const CaptureChannel&) = delete;
  CaptureChannel& operator=(const CaptureChannel&) = delete;

  // Takes the camera (which must outlive the channel or be cleared by
  // destroying the channel first), becomes its frame consumer and builds the
  // detector for its frame size. The region manager keeps its regions and
  // the zones' orientation. False when the camera's size cannot be read.
  bool init(FrameSource& camera);
  // Starts the channel's thread; frames are processed from now on. False
  // before init.
  bool start();
  // Stops the thread (waiting for a pass in progress unless called from it).
  void stop();

  // Where each pass goes; may be set while the channel runs.
  void setPassCallback(ChannelPassCallback callback);

  // The channel's regions; every pass evaluates them.
  RegionManager& regionManager() { return *regionManager_; }

  // How the client's zones are turned against the camera's upright picture;
  // every region keeps its place as the client sees it. A new channel's
  // zones are not turned.
  void setZoneOrientation(Orientation orientation);
  Orientation zoneOrientation() const;

  bool isRunning() const { return running_.load(std::memory_order_acquire); }
  // Frames that arrived while running, frames processed, and admitted frames
  // dropped because the channel's thread fell behind.
  std::uint64_t arrivedFrames() const { return arrived_.load(std::memory_order_relaxed); }
  std::uint64_t droppedFrames() const { return frames_.droppedFrames(); }
  std::uint64_t processedFrames() const { return processed_.load(std::memory_order_acquire); }

  // FrameConsumer: the camera's streaming thread.
  void onFrame(const FrameView& frame) override;

 private:
  void run();
  void process(const std::uint8_t* frame, const FrameStamp& stamp);

  FrameSource* source_ = nullptr;  // set by init, while the channel is stopped
  std::unique_ptr<MotionDetector> detector_;
  std::unique_ptr<RegionManager> regionManager_;
  std::size_t frameBytes_ = 0;
  std::int32_t frameWidth_ = 0;
  std::int32_t frameHeight_ = 0;

  // The streaming thread's own: which frames go on, and their count.
  FramePacing pacing_;
  std::uint64_t sequence_ = 0;
  std::atomic<bool> pacingReset_{false};  // set by start(), taken by the next frame
  // Admitted frames, from the streaming thread to the channel's thread.
  FrameQueue frames_;

  Mutex callbackMutex_;
  ChannelPassCallback passCallback_ TESSARY_GUARDED_BY(callbackMutex_);

  // The channel's thread's own.
  std::vector<std::int32_t> fired_;

  std::thread thread_;  // started and joined by the configuring thread
  std::atomic<bool> running_{false};
  std::atomic<std::uint64_t> arrived_{0};
  std::atomic<std::uint64_t> processed_{0};
};

}  // namespace tessary
