// A capture backend whose devices and failures a test scripts, and whose
// sessions record what the camera asked of them. The test itself delivers
// samples, standing in for the streaming thread.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_backend.h"

namespace tessary::fakes {

struct FakeDevice {
  std::string name;
  std::vector<CaptureCapability> capabilities;
  BindResult bindResult = BindResult::kBound;
  bool setFormatFails = false;
  ConnectResult connectResult = ConnectResult::kConnected;
};

inline CaptureCapability capability(PixelFormat format, std::int32_t width, std::int32_t height) {
  return CaptureCapability{format, width, height, 0};
}

class FakeCaptureSession;

class FakeCaptureBackend final : public CaptureBackend {
 public:
  const char* kind() const override { return "fake"; }
  DeviceListResult listDevices(std::vector<std::string>& names) override {
    names.clear();
    if (listResult == DeviceListResult::kListed) {
      for (const FakeDevice& device : devices) names.push_back(device.name);
    }
    return listResult;
  }
  std::unique_ptr<CaptureSession> createSession() override;
  FakeCaptureSession* lastSession() const { return live.empty() ? nullptr : live.back(); }

  std::vector<FakeDevice> devices;
  DeviceListResult listResult = DeviceListResult::kListed;
  bool sessionsFail = false;
  std::vector<FakeCaptureSession*> live;
};

class FakeCaptureSession final : public CaptureSession {
 public:
  explicit FakeCaptureSession(FakeCaptureBackend& backend) : backend_(backend) {
    backend_.live.push_back(this);
  }
  ~FakeCaptureSession() override { std::erase(backend_.live, this); }

  BindResult bindDevice(std::string_view name) override {
    boundIndex = -1;
    if (backend_.listResult == DeviceListResult::kNoEnumerator) return BindResult::kNoEnumerator;
    if (backend_.devices.empty()) return BindResult::kNoDevices;
    int found = -1;  // the one listed last, as real backends do
    for (std::size_t i = 0; i < backend_.devices.size(); ++i) {
      if (backend_.devices[i].name == name) found = static_cast<int>(i);
    }
    if (found < 0) return BindResult::kNotFound;
    const BindResult result = backend_.devices[static_cast<std::size_t>(found)].bindResult;
    if (result == BindResult::kBound || result == BindResult::kBoundWithoutFormats) boundIndex = found;
    return result;
  }
  void unbindDevice() override { boundIndex = -1; }
  bool listCapabilities(std::vector<CaptureCapability>& capabilities) override {
    if (device() != nullptr) capabilities = device()->capabilities;
    return device() != nullptr;
  }
  bool setFormat(const CaptureCapability& applied, std::int32_t fps) override {
    if (device() == nullptr || device()->setFormatFails) return false;
    appliedFormat = applied;
    appliedFps = fps;
    return true;
  }
  ConnectResult connect() override {
    return device() == nullptr ? ConnectResult::kFailed : device()->connectResult;
  }
  void setSampleSink(SampleSink* sink) override { sink_ = sink; }
  bool start() override {
    ++starts;
    return streaming = startSucceeds;
  }
  void stop() override {
    ++stops;
    streaming = false;
  }
  std::string lastError() const override { return "Fake failure"; }

  void deliver(const std::uint8_t* data, std::size_t size) {
    if (sink_ != nullptr) sink_->onSample(MediaSample{data, size, 0});
  }

  int boundIndex = -1;
  CaptureCapability appliedFormat;
  std::int32_t appliedFps = 0;
  int starts = 0, stops = 0;
  bool startSucceeds = true, streaming = false;

 private:
  FakeDevice* device() {
    const auto index = static_cast<std::size_t>(boundIndex);
    return boundIndex < 0 || index >= backend_.devices.size() ? nullptr : &backend_.devices[index];
  }

  FakeCaptureBackend& backend_;
  SampleSink* sink_ = nullptr;
};

inline std::unique_ptr<CaptureSession> FakeCaptureBackend::createSession() {
  return sessionsFail ? nullptr : std::make_unique<FakeCaptureSession>(*this);
}

}  // namespace tessary::fakes
