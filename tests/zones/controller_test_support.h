// Helpers for driving a VideoController with its real cameras and channels.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "capture/capture_backend.h"
#include "common/frame.h"
#include "support/wait_until.h"
#include "zones/video_controller.h"
#include "zones/zone_event_sink.h"

namespace tessary::testing {

// The controller's processed-frame count at each hit, and (noted by the relay
// on the streaming thread) at each sample's arrival at the camera, after
// which the channel processes that sample or a newer one. A hit of the
// n-th processed frame (counting from 1) records n - 1.
class TickLog final : public ZoneEventSink {
 public:
  struct Hit {
    std::int32_t zoneId = -1;
    std::uint64_t processed = 0;
  };

  explicit TickLog(const VideoController& controller) : controller_(controller) {}
  void onZoneEvents(const ZoneEventBatch& batch) override {
    std::lock_guard lock(mutex_);
    for (const ZoneHit& hit : batch.hits) {
      hits_.push_back(Hit{hit.zoneId, controller_.picture().processedFrames()});
    }
  }
  void noteArrival() {
    std::lock_guard lock(mutex_);
    arrivals_.push_back(controller_.picture().processedFrames());
  }
  std::vector<Hit> hits() const {
    std::lock_guard lock(mutex_);
    return hits_;
  }
  std::vector<std::uint64_t> arrivals() const {
    std::lock_guard lock(mutex_);
    return arrivals_;
  }
  // Taken as a reply sender takes its own lock around calls into the controller.
  std::unique_lock<std::mutex> hold() const { return std::unique_lock(mutex_); }

 private:
  const VideoController& controller_;
  mutable std::mutex mutex_;
  std::vector<Hit> hits_;
  std::vector<std::uint64_t> arrivals_;
};

// Relays another backend, noting every sample in a log (if any). Given
// aliases, it lists them instead and binds each to `device`, so one demo
// camera can stand in for several.
class RelayCaptureBackend final : public CaptureBackend {
 public:
  RelayCaptureBackend(std::unique_ptr<CaptureBackend> inner, TickLog* log,
                      std::vector<std::string> aliases = {}, std::string device = {})
      : inner_(std::move(inner)), log_(log), aliases_(std::move(aliases)), device_(std::move(device)) {}
  const char* kind() const override { return inner_->kind(); }
  DeviceListResult listDevices(std::vector<std::string>& names) override {
    if (aliases_.empty()) return inner_->listDevices(names);
    names = aliases_;
    return DeviceListResult::kListed;
  }
  std::unique_ptr<CaptureSession> createSession() override {
    std::unique_ptr<CaptureSession> session = inner_->createSession();
    if (!session) return nullptr;
    return std::make_unique<Session>(std::move(session), log_, device_);
  }

 private:
  class Session final : public CaptureSession, public SampleSink {
   public:
    Session(std::unique_ptr<CaptureSession> inner, TickLog* log, std::string device)
        : log_(log), device_(std::move(device)), inner_(std::move(inner)) {}
    ~Session() override { inner_->stop(); }

    BindResult bindDevice(std::string_view name) override {
      return inner_->bindDevice(device_.empty() ? name : device_);
    }
    void unbindDevice() override { inner_->unbindDevice(); }
    bool listCapabilities(std::vector<CaptureCapability>& caps) override { return inner_->listCapabilities(caps); }
    bool setFormat(const CaptureCapability& capability, std::int32_t fps) override {
      return inner_->setFormat(capability, fps);
    }
    ConnectResult connect() override { return inner_->connect(); }
    void setSampleSink(SampleSink* sink) override {
      camera_ = sink;
      inner_->setSampleSink(this);
    }
    bool start() override { return inner_->start(); }
    void stop() override { inner_->stop(); }
    std::string lastError() const override { return inner_->lastError(); }

    void onSample(const MediaSample& sample) override {
      if (camera_ != nullptr) camera_->onSample(sample);
      if (log_ != nullptr) log_->noteArrival();
    }

   private:

    TickLog* log_;
    std::string device_;
    SampleSink* camera_ = nullptr;
    std::unique_ptr<CaptureSession> inner_;
  };

  std::unique_ptr<CaptureBackend> inner_;
  TickLog* log_;
  std::vector<std::string> aliases_;
  std::string device_;
};

inline bool waitForFrames(const VideoController& controller, std::uint64_t count) {
  return waitUntil([&] { return controller.picture().processedFrames() >= count; });
}

// A dark, textured top-down picture, optionally with a 0/255 checkerboard
// block whose lit pixels the detector counts.
inline std::vector<std::uint8_t> texturedPicture(int blockX = -1, int blockY = -1,
                                                 int blockSize = 0) {
  std::vector<std::uint8_t> picture(kFrameBytes);
  for (int row = 0; row < kFrameHeight; ++row) {
    for (int column = 0; column < kFrameWidth; ++column) {
      auto* pixel = &picture[static_cast<std::size_t>(row * kFrameStride + column * 4)];
      auto level = static_cast<std::uint8_t>(20 + (row * 7 + column * 13) % 40);
      bool lit = column >= blockX && column < blockX + blockSize && row >= blockY &&
                 row < blockY + blockSize && (row + column) % 2 == 0;
      if (lit) level = 255;
      pixel[0] = pixel[1] = pixel[2] = level;
      pixel[3] = 0;
    }
  }
  return picture;
}

}  // namespace tessary::testing
