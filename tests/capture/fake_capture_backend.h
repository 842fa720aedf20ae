// A capture backend whose devices, answers and failures a test scripts, and
// whose sessions record what the camera asked of them. Samples are delivered
// by the test itself, standing in for the streaming thread.
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

class FakeCaptureBackend;

class FakeCaptureSession final : public CaptureSession {
 public:
  explicit FakeCaptureSession(FakeCaptureBackend& backend);
  ~FakeCaptureSession() override;

  BindResult bindDevice(std::string_view name) override;
  void unbindDevice() override { boundIndex = -1; }
  bool listCapabilities(std::vector<CaptureCapability>& capabilities) override;
  bool setFormat(const CaptureCapability& applied, std::int32_t fps) override;
  ConnectResult connect() override;
  void setCallback(SampleGrabberCallbackRef callback) override { callback_ = std::move(callback); }
  bool start() override {
    ++starts;
    streaming = startSucceeds;
    return startSucceeds;
  }
  void stop() override {
    ++stops;
    streaming = false;
  }
  std::string lastError() const override { return "Fake failure"; }

  // Hands one sample to the camera as a streaming thread would.
  void deliver(const std::uint8_t* data, std::size_t size) {
    MediaSample sample{data, size, 0};
    if (callback_) callback_->SampleCB(0.0, &sample);
  }

  int boundIndex = -1;
  CaptureCapability appliedFormat;
  std::int32_t appliedFps = 0;
  int setFormatCalls = 0;
  bool startSucceeds = true;
  bool streaming = false;
  int starts = 0;
  int stops = 0;

 private:
  FakeCaptureBackend& backend_;
  SampleGrabberCallbackRef callback_;
};

class FakeCaptureBackend final : public CaptureBackend {
 public:
  const char* kind() const override { return "fake"; }
  DeviceListResult listDevices(std::vector<std::string>& names) override {
    names.clear();
    if (listResult != DeviceListResult::kListed) return listResult;
    for (const FakeDevice& device : devices) names.push_back(device.name);
    return listResult;
  }
  std::unique_ptr<CaptureSession> createSession() override {
    if (sessionsFail) return nullptr;
    ++sessionsMade;
    return std::make_unique<FakeCaptureSession>(*this);
  }

  // The newest session still alive, or null.
  FakeCaptureSession* lastSession() const { return live.empty() ? nullptr : live.back(); }

  std::vector<FakeDevice> devices;
  DeviceListResult listResult = DeviceListResult::kListed;
  bool sessionsFail = false;
  int sessionsMade = 0;
  std::vector<FakeCaptureSession*> live;
};

inline FakeCaptureSession::FakeCaptureSession(FakeCaptureBackend& backend) : backend_(backend) {
  backend_.live.push_back(this);
}

inline FakeCaptureSession::~FakeCaptureSession() {
  std::erase(backend_.live, this);
}

inline BindResult FakeCaptureSession::bindDevice(std::string_view name) {
  boundIndex = -1;
  if (backend_.listResult == DeviceListResult::kNoEnumerator) return BindResult::kNoEnumerator;
  if (backend_.listResult == DeviceListResult::kListFailed) return BindResult::kListFailed;
  if (backend_.devices.empty()) return BindResult::kNoDevices;
  int found = -1;
  for (int i = 0; i < static_cast<int>(backend_.devices.size()); ++i) {
    if (backend_.devices[static_cast<std::size_t>(i)].name == name) found = i;
  }
  if (found < 0) return BindResult::kNotFound;
  BindResult result = backend_.devices[static_cast<std::size_t>(found)].bindResult;
  if (result == BindResult::kBound || result == BindResult::kBoundWithoutFormats) {
    boundIndex = found;
  }
  return result;
}

inline bool FakeCaptureSession::listCapabilities(std::vector<CaptureCapability>& capabilities) {
  if (boundIndex < 0) return false;
  capabilities = backend_.devices[static_cast<std::size_t>(boundIndex)].capabilities;
  return true;
}

inline bool FakeCaptureSession::setFormat(const CaptureCapability& applied, std::int32_t fps) {
  ++setFormatCalls;
  if (boundIndex < 0 || backend_.devices[static_cast<std::size_t>(boundIndex)].setFormatFails) {
    return false;
  }
  appliedFormat = applied;
  appliedFps = fps;
  return true;
}

inline ConnectResult FakeCaptureSession::connect() {
  if (boundIndex < 0) return ConnectResult::kFailed;
  return backend_.devices[static_cast<std::size_t>(boundIndex)].connectResult;
}

}  // namespace tessary::fakes
