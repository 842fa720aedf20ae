// One camera's DirectShow filter graph:
//
//   source -> [AVI decompressor] -> [colour space converter] -> sample grabber
//   (RGB32) -> null renderer
//
// The converters go in only when the applied format needs them. Samples
// leave through the grabber's callback on the graph's streaming thread.
#pragma once

#include <dshow.h>
#include <qedit.h>
#include <windows.h>

#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <string_view>
#include <vector>

#include "capture/camera_presence.h"
#include "capture/capture_backend.h"
#include "platform/windows/directshow_com.h"
#include "platform/windows/directshow_grabber_callback.h"
#include "platform/windows/directshow_sources.h"

namespace tessary::directshow {

class GraphSession final : public CaptureSession {
 public:
  // Builds the fixed part of the graph (graph, builder, grabber with its
  // callback, null renderer). On failure returns null; `report` gets one
  // line for each step that failed either way.
  static std::unique_ptr<GraphSession> create(const ComFactory& factory, GraphSourceKind& sources,
                                              std::string& report,
                                              std::shared_ptr<CameraPresence> presence = std::make_shared<CameraPresence>());
  ~GraphSession() override;

  BindResult bindDevice(std::string_view name) override;
  void unbindDevice() override;
  bool listCapabilities(std::vector<CaptureCapability>& capabilities) override;
  bool setFormat(const CaptureCapability& capability, std::int32_t fps) override;
  ConnectResult connect() override;
  void setSampleSink(SampleSink* sink) override;
  bool start() override;
  void stop() override;
  std::string lastError() const override { return lastError_; }
  std::string modeText() const override;

 private:
  GraphSession(const ComFactory& factory, GraphSourceKind& sources, std::shared_ptr<CameraPresence> presence);

  // While streaming, on a thread of its own: a device that is removed, a
  // graph that aborts, a stream that ends or stalls is said once on standard
  // error and marked absent, and the graph is run again every few seconds
  // until pictures come back.
  void watch(std::stop_token stop);
  void rewind();

  bool build(std::string& report);
  // The device's own modes, as listCapabilities gives them before the
  // frame-size entry that stands for a scaled one.
  bool listModes(std::vector<CaptureCapability>& capabilities);
  bool createGrabber(std::string& report);
  bool findCapability(const CaptureCapability& capability, OwnedMediaType& type);
  ConnectResult fail(HRESULT result);
  HRESULT connectPins(IPin* upstream, IBaseFilter& downstream);
  HRESULT addConverter(REFCLSID classId, const wchar_t* name);
  void disconnect(IPin* pin);
  void tearDownChain();
  void releaseSource();

  ComFactory factory_;
  GraphSourceKind& sources_;
  ApartmentKeeper apartment_;
  ComPtr<IGraphBuilder> graph_;
  ComPtr<ICaptureGraphBuilder2> captureBuilder_;
  ComPtr<IMediaControl> mediaControl_;
  ComPtr<IMediaEvent> events_;  // null when the graph gives none: then nothing is watched
  ComPtr<IBaseFilter> grabberFilter_;
  ComPtr<ISampleGrabber> sampleGrabber_;
  ComPtr<IBaseFilter> nullRenderer_;
  ComPtr<GrabberCallback> grabberCallback_;
  BoundSource source_;
  std::vector<ComPtr<IBaseFilter>> converters_;  // in the graph between source and grabber
  CaptureCapability applied_;  // the device's own mode
  CaptureCapability scaledMode_;  // the mode the frame-size entry of the last listing stands for
  bool scaled_ = false;           // applied_ is scaled after the grabber into the frame
  bool formatSet_ = false;
  bool connected_ = false;
  bool streaming_ = false;
  std::string lastError_;
  std::shared_ptr<CameraPresence> presence_;
  std::string boundName_;
  std::jthread watcher_;
};

}  // namespace tessary::directshow

namespace tessary::directshow {

// A backend over the given sources, making its COM objects with `factory`.
std::unique_ptr<CaptureBackend> makeBackend(std::unique_ptr<GraphSourceKind> sources,
                                            ComFactory factory = createInProcess);

}  // namespace tessary::directshow
