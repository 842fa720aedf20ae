#include "platform/windows/directshow_graph.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "capture/mode_choice.h"
#include "common/frame.h"

namespace tessary::directshow {
namespace {

bool matches(const AM_MEDIA_TYPE& type, const CaptureCapability& capability) {
  const VIDEOINFOHEADER* video = videoInfoOf(type);
  return video != nullptr && pixelFormatOf(type.subtype) == capability.format &&
         video->bmiHeader.biWidth == capability.width && video->bmiHeader.biHeight == capability.height;
}

void appendLine(std::string& report, std::string_view text) {
  report += text;
  report += '\n';
}

bool needsDecompressor(PixelFormat format) {
  return format == PixelFormat::kUyvy || format == PixelFormat::kY411;
}

// The entry of the frame's size that stands for a larger mode, scaled after
// the grabber; the low bits are that mode's own index.
constexpr std::uint32_t kScaledEntry = 0x8000'0000u;

const char* formatName(PixelFormat format) {
  switch (format) {
    case PixelFormat::kRgb8: return "RGB8";
    case PixelFormat::kRgb555: return "RGB555";
    case PixelFormat::kRgb565: return "RGB565";
    case PixelFormat::kRgb24: return "RGB24";
    case PixelFormat::kRgb32: return "RGB32";
    case PixelFormat::kY411: return "Y411";
    case PixelFormat::kUyvy: return "UYVY";
    case PixelFormat::kUnsupported: break;
  }
  return "a format the graph decodes";
}

}  // namespace

GraphSession::GraphSession(const ComFactory& factory, GraphSourceKind& sources,
                           std::shared_ptr<CameraPresence> presence)
    : factory_(factory), sources_(sources), presence_(std::move(presence)) {}

std::unique_ptr<GraphSession> GraphSession::create(const ComFactory& factory, GraphSourceKind& sources,
                                                   std::string& report, std::shared_ptr<CameraPresence> presence) {
  ApartmentScope apartment;
  report.clear();
  std::unique_ptr<GraphSession> session(new GraphSession(factory, sources, std::move(presence)));
  if (!session->build(report)) return nullptr;
  return session;
}

GraphSession::~GraphSession() {
  ApartmentScope apartment;
  stop();
  if (mediaControl_) mediaControl_->Stop();
  // The grabber lets go of our callback object now rather than whenever the
  // graph ends.
  if (sampleGrabber_) sampleGrabber_->SetCallback(nullptr, 0);
  tearDownChain();
  releaseSource();
  sampleGrabber_.reset();
  mediaControl_.reset();
  graph_.reset();
  captureBuilder_.reset();
  grabberFilter_.reset();
  nullRenderer_.reset();
  // The grabber's thread may still hold the object; it must not reach the
  // sink, which may go with this session.
  if (grabberCallback_) grabberCallback_->setTarget(nullptr);
  grabberCallback_.reset();
}

bool GraphSession::build(std::string& report) {
  auto line = [&](std::string_view text) { appendLine(report, text); };
  HRESULT result = factory_(CLSID_FilterGraph, IID_IGraphBuilder, graph_.putVoid());
  if (FAILED(result)) {
    line("No[GraphBuilder]");
  } else {
    result = factory_(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2, captureBuilder_.putVoid());
    if (FAILED(result)) {
      line("No[CaptureGraphBuilder2]");
    } else {
      result = graph_.query(IID_IMediaControl, mediaControl_);
      if (FAILED(result)) line("No[MediaControl]");
      if (FAILED(graph_.query(IID_IMediaEvent, events_))) events_.reset();
    }
  }
  if (FAILED(result)) {
    line("No[video interfaces]");
    line(describeResult(result));
    return false;
  }
  result = captureBuilder_->SetFiltergraph(graph_.get());
  if (FAILED(result)) {
    line("No[Capture FilterGraph]");
    line(describeResult(result));
    return false;
  }
  if (!createGrabber(report)) {
    line("No[QormGrabberFilter]");
    return false;
  }
  result = factory_(CLSID_NullRenderer, IID_IBaseFilter, nullRenderer_.putVoid());
  if (FAILED(result)) {
    line("No[NullRenderer]");
    line(describeResult(result));
    return false;
  }
  result = graph_->AddFilter(nullRenderer_.get(), L"NullRenderer");
  if (FAILED(result)) {
    line("No[AddFilter(NullRenderer)]");
    line(describeResult(result));
    return false;
  }
  return true;
}

bool GraphSession::createGrabber(std::string& report) {
  auto line = [&](std::string_view text) { appendLine(report, text); };
  if (FAILED(factory_(CLSID_SampleGrabber, IID_IBaseFilter, grabberFilter_.putVoid()))) {
    line("No[QormSampleGrabber]");
    return false;
  }
  if (FAILED(grabberFilter_.query(IID_ISampleGrabber, sampleGrabber_))) {
    line("No[IID_ISampleGrabberInterface]");
    grabberFilter_.reset();
    return false;
  }
  if (FAILED(graph_->AddFilter(grabberFilter_.get(), L"SampleGrabber"))) {
    // Kept, so the report goes on; connecting the chain fails later.
    line("No[AddQormSampleGrabber]");
    return true;
  }
  grabberCallback_ = GrabberCallback::create();
  if (FAILED(sampleGrabber_->SetCallback(grabberCallback_.get(), 0))) {
    line("No[SetCallback-QormSampleGrabber]");
  } else {
    sampleGrabber_->SetOneShot(FALSE);
    sampleGrabber_->SetBufferSamples(TRUE);
  }
  return true;
}

BindResult GraphSession::bindDevice(std::string_view name) {
  ApartmentScope apartment;
  unbindDevice();
  boundName_ = std::string(name);
  return sources_.bind(factory_, *graph_, *captureBuilder_, name, source_, lastError_);
}

void GraphSession::unbindDevice() {
  ApartmentScope apartment;
  stop();
  tearDownChain();
  releaseSource();
  formatSet_ = false;
}

void GraphSession::releaseSource() {
  // A splitter's output pins end with its input connection, whoever still
  // holds them: the pin goes first, then the filters leave the graph.
  source_.output.reset();
  source_.streamConfig.reset();
  for (auto filter = source_.filters.rbegin(); filter != source_.filters.rend(); ++filter) {
    if (graph_) graph_->RemoveFilter(filter->get());
  }
  source_.filters.clear();
}

bool GraphSession::listCapabilities(std::vector<CaptureCapability>& capabilities) {
  if (!listModes(capabilities)) return false;
  // A device without a mode of the frame's size offers one anyway: its
  // smallest larger mode, scaled whole into the frame after the grabber.
  if (const CaptureCapability* mode = modeToScale(capabilities)) {
    scaledMode_ = *mode;
    capabilities.push_back({PixelFormat::kRgb32, kFrameWidth, kFrameHeight, kScaledEntry | mode->nativeCode});
  }
  return true;
}

bool GraphSession::listModes(std::vector<CaptureCapability>& capabilities) {
  ApartmentScope apartment;
  capabilities.clear();
  if (!source_.output || !source_.formatsReadable) return false;
  auto add = [&](const AM_MEDIA_TYPE& type, std::uint32_t index) {
    if (const VIDEOINFOHEADER* video = videoInfoOf(type)) {
      capabilities.push_back({pixelFormatOf(type.subtype), video->bmiHeader.biWidth,
                              video->bmiHeader.biHeight, index});
    }
  };
  if (source_.streamConfig) {
    int count = 0;
    int size = 0;
    HRESULT result = source_.streamConfig->GetNumberOfCapabilities(&count, &size);
    if (FAILED(result)) {
      lastError_ = describeResult(result);
      return false;
    }
    // Sized as the device says, so a larger capability structure is read
    // whole rather than refused or overrun.
    std::vector<BYTE> details(std::max<std::size_t>(static_cast<std::size_t>(std::max(size, 0)),
                                                    sizeof(VIDEO_STREAM_CONFIG_CAPS)));
    for (int index = 0; index < count; ++index) {
      OwnedMediaType type;
      if (source_.streamConfig->GetStreamCaps(index, type.put(), details.data()) != S_OK ||
          type.get() == nullptr) {
        break;
      }
      add(*type.get(), static_cast<std::uint32_t>(index));
    }
    return true;
  }
  // A file offers its own format: the output pin's first video type.
  ComPtr<IEnumMediaTypes> types;
  if (FAILED(source_.output->EnumMediaTypes(types.put())) || !types) return false;
  OwnedMediaType type;
  while (types->Next(1, type.put(), nullptr) == S_OK && type.get() != nullptr) {
    if (type.get()->majortype != MEDIATYPE_Video || videoInfoOf(*type.get()) == nullptr) continue;
    add(*type.get(), 0);
    break;
  }
  return true;
}

bool GraphSession::setFormat(const CaptureCapability& capability, std::int32_t fps) {
  ApartmentScope apartment;
  if (!source_.output || streaming_) {
    lastError_ = streaming_ ? "The format cannot change while streaming." : "No device bound.";
    return false;
  }
  // The pin takes a new format only while unconnected; the chain is joined
  // again afterwards.
  const bool wasConnected = connected_;
  tearDownChain();
  CaptureCapability mode = capability;
  scaled_ = (capability.nativeCode & kScaledEntry) != 0;
  if (scaled_) {
    std::vector<CaptureCapability> offered;
    listCapabilities(offered);
    if ((scaledMode_.nativeCode | kScaledEntry) != capability.nativeCode) {
      lastError_ = "The format is not offered.";
      return false;
    }
    mode = scaledMode_;
  }
  if (source_.streamConfig) {
    OwnedMediaType type;
    if (!findCapability(mode, type)) {
      lastError_ = "The format is not offered.";
      return false;
    }
    reinterpret_cast<VIDEOINFOHEADER*>(type.get()->pbFormat)->AvgTimePerFrame = frameIntervalFor(fps);
    const HRESULT result = source_.streamConfig->SetFormat(type.get());
    if (FAILED(result)) {
      lastError_ = describeResult(result);
      return false;
    }
  } else {
    // A file plays at its own rate in its own format.
    std::vector<CaptureCapability> offered;
    listCapabilities(offered);
    const bool found = std::any_of(offered.begin(), offered.end(), [&](const CaptureCapability& c) {
      return c.format == mode.format && c.width == mode.width && c.height == mode.height;
    });
    if (!found) {
      lastError_ = "The format is not offered.";
      return false;
    }
  }
  applied_ = mode;
  formatSet_ = true;
  return !wasConnected || connect() == ConnectResult::kConnected;
}

bool GraphSession::findCapability(const CaptureCapability& capability, OwnedMediaType& type) {
  int count = 0;
  int size = 0;
  if (FAILED(source_.streamConfig->GetNumberOfCapabilities(&count, &size))) return false;
  std::vector<BYTE> details(std::max<std::size_t>(static_cast<std::size_t>(std::max(size, 0)),
                                                  sizeof(VIDEO_STREAM_CONFIG_CAPS)));
  // The entry listed under that index first; the list may have changed since.
  const int listed = static_cast<int>(capability.nativeCode);
  if (listed < count && source_.streamConfig->GetStreamCaps(listed, type.put(), details.data()) == S_OK &&
      type.get() != nullptr && matches(*type.get(), capability)) {
    return true;
  }
  for (int index = 0; index < count; ++index) {
    if (source_.streamConfig->GetStreamCaps(index, type.put(), details.data()) != S_OK) break;
    if (type.get() != nullptr && matches(*type.get(), capability)) return true;
  }
  return false;
}

ConnectResult GraphSession::connect() {
  ApartmentScope apartment;
  if (!formatSet_) {
    lastError_ = "No format applied.";
    return ConnectResult::kFailed;
  }
  stop();
  tearDownChain();
  AM_MEDIA_TYPE wanted{};
  wanted.majortype = MEDIATYPE_Video;
  wanted.subtype = MEDIASUBTYPE_RGB32;
  if (FAILED(sampleGrabber_->SetMediaType(&wanted))) return ConnectResult::kFormatRefused;

  HRESULT result = S_OK;
  // Formats we do not name (YUY2, MJPG) are left to the graph's own
  // search for a decoder when the pins connect.
  if (applied_.format != PixelFormat::kRgb32 && applied_.format != PixelFormat::kUnsupported) {
    if (needsDecompressor(applied_.format)) result = addConverter(CLSID_AVIDec, L"AVIDec");
    if (SUCCEEDED(result)) result = addConverter(CLSID_Colour, L"ColourSpace");
    if (FAILED(result)) return fail(result);
  }
  ComPtr<IPin> upstream = source_.output;
  for (const ComPtr<IBaseFilter>& converter : converters_) {
    result = connectPins(upstream.get(), *converter);
    if (FAILED(result)) return fail(result);
    upstream = findPin(*converter, PINDIR_OUTPUT);
  }
  result = connectPins(upstream.get(), *grabberFilter_);
  if (FAILED(result)) return fail(result);
  ComPtr<IPin> grabberOut = findPin(*grabberFilter_, PINDIR_OUTPUT);
  result = grabberOut ? connectPins(grabberOut.get(), *nullRenderer_) : E_FAIL;
  if (FAILED(result)) return fail(result);

  // What the grabber really receives decides the frame: it must be RGB32 of
  // the applied size, which the camera's buffer is made for.
  AM_MEDIA_TYPE connectedType{};
  result = sampleGrabber_->GetConnectedMediaType(&connectedType);
  const VIDEOINFOHEADER* video = SUCCEEDED(result) ? videoInfoOf(connectedType) : nullptr;
  const bool sized = video != nullptr && connectedType.subtype == MEDIASUBTYPE_RGB32 &&
                     video->bmiHeader.biWidth == applied_.width &&
                     std::abs(video->bmiHeader.biHeight) == std::abs(applied_.height) &&
                     grabberCallback_->setFrameLayout(video->bmiHeader.biWidth, video->bmiHeader.biHeight, scaled_);
  if (SUCCEEDED(result)) freeMediaTypeFields(connectedType);
  if (!sized) {
    tearDownChain();
    lastError_ = "The sample grabber did not receive RGB32 pictures of the chosen size.";
    return ConnectResult::kFailed;
  }
  connected_ = true;
  return ConnectResult::kConnected;
}

std::string GraphSession::modeText() const {
  if (!scaled_ || !formatSet_) return {};
  return "Opened at " + std::to_string(applied_.width) + " x " + std::to_string(std::abs(applied_.height)) + " " +
         formatName(applied_.format) + ", scaled to 160 x 120.";
}

ConnectResult GraphSession::fail(HRESULT result) {
  lastError_ = describeResult(result);
  tearDownChain();
  return ConnectResult::kFailed;
}

HRESULT GraphSession::connectPins(IPin* upstream, IBaseFilter& downstream) {
  if (upstream == nullptr) return E_FAIL;
  ComPtr<IPin> input = findPin(downstream, PINDIR_INPUT);
  if (!input) return E_FAIL;
  return graph_->Connect(upstream, input.get());
}

HRESULT GraphSession::addConverter(REFCLSID classId, const wchar_t* name) {
  ComPtr<IBaseFilter> converter;
  HRESULT result = factory_(classId, IID_IBaseFilter, converter.putVoid());
  if (FAILED(result)) return result;
  result = graph_->AddFilter(converter.get(), name);
  if (FAILED(result)) return result;
  converters_.push_back(converter);
  return S_OK;
}

void GraphSession::disconnect(IPin* pin) {
  if (pin == nullptr) return;
  ComPtr<IPin> peer;
  if (SUCCEEDED(pin->ConnectedTo(peer.put())) && peer) {
    graph_->Disconnect(peer.get());
    graph_->Disconnect(pin);
  }
}

void GraphSession::tearDownChain() {
  connected_ = false;
  if (!graph_) return;
  // Everything between the source and the grabber goes: our converters and
  // whatever the graph put in while connecting.
  std::vector<ComPtr<IBaseFilter>> extras;
  ComPtr<IEnumFilters> filters;
  if (SUCCEEDED(graph_->EnumFilters(filters.put())) && filters) {
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK && filter) {
      const bool ours = filter.get() == grabberFilter_.get() || filter.get() == nullRenderer_.get() ||
                        std::any_of(source_.filters.begin(), source_.filters.end(),
                                    [&](const ComPtr<IBaseFilter>& f) { return f.get() == filter.get(); });
      if (!ours) extras.push_back(filter);
    }
  }
  for (const ComPtr<IBaseFilter>& extra : extras) graph_->RemoveFilter(extra.get());
  converters_.clear();
  if (grabberFilter_) {
    disconnect(findPin(*grabberFilter_, PINDIR_INPUT).get());
    disconnect(findPin(*grabberFilter_, PINDIR_OUTPUT).get());
  }
  disconnect(source_.output.get());
}

void GraphSession::setSampleSink(SampleSink* sink) {
  if (grabberCallback_) grabberCallback_->setTarget(sink);
}

bool GraphSession::start() {
  if (streaming_) return true;
  if (!connected_) {
    lastError_ = "Not connected.";
    return false;
  }
  ApartmentScope apartment;
  grabberCallback_->open();
  HRESULT result = mediaControl_->Run();
  if (FAILED(result)) {
    grabberCallback_->close();
    mediaControl_->Stop();
    lastError_ = describeResult(result);
    return false;
  }
  streaming_ = true;
  if (events_) watcher_ = std::jthread([this](std::stop_token stop) { watch(stop); });
  return true;
}

void GraphSession::stop() {
  if (!streaming_) return;
  // The watcher runs the graph again after a loss: it goes first.
  if (watcher_.joinable()) {
    watcher_.request_stop();
    watcher_.join();
  }
  ApartmentScope apartment;
  // Closed first: once it returns no sample reaches the camera, whatever the
  // graph's threads still do while stopping.
  grabberCallback_->close();
  mediaControl_->Stop();
  streaming_ = false;
}

void GraphSession::watch(std::stop_token stop) {
  using Clock = std::chrono::steady_clock;
  constexpr auto kRetry = std::chrono::seconds(3);
  constexpr auto kStall = std::chrono::seconds(5);
  constexpr auto kFirstPicture = std::chrono::seconds(10);
  ApartmentScope apartment;
  bool lost = false;
  std::uint64_t seen = grabberCallback_->delivered();
  Clock::time_point lastPicture = Clock::now();
  Clock::time_point retryAt{};
  bool pictured = false;
  while (!stop.stop_requested()) {
    std::string why;
    long code = 0;
    LONG_PTR first = 0;
    LONG_PTR second = 0;
    if (events_->GetEvent(&code, &first, &second, 100) == S_OK) {
      if (code == EC_DEVICE_LOST && second == 0) {
        why = "the device was removed";
      } else if (code == EC_ERRORABORT || code == EC_ERRORABORTEX) {
        why = describeResult(static_cast<HRESULT>(first));
      } else if (code == EC_STREAM_ERROR_STOPPED) {
        why = "a stream error";
      } else if (code == EC_COMPLETE) {
        why = "the stream ended";
      }
      events_->FreeEventParams(code, first, second);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const Clock::time_point now = Clock::now();
    const std::uint64_t count = grabberCallback_->delivered();
    if (count != seen) {
      seen = count;
      lastPicture = now;
      pictured = true;
      if (lost) {
        lost = false;
        presence_->setAbsent(boundName_, false);
        std::fprintf(stderr, "tessary: camera '%s' is back\n", boundName_.c_str());
        std::fflush(stderr);
      }
    } else if (!lost && why.empty() && now - lastPicture > (pictured ? kStall : kFirstPicture)) {
      why = "no picture for " + std::to_string(kStall.count()) + " s";
    }
    if (!why.empty() && !lost) {
      lost = true;
      presence_->setAbsent(boundName_, true);
      std::fprintf(stderr, "tessary: camera '%s' lost: %s; trying again every %d s\n", boundName_.c_str(),
                   why.c_str(), static_cast<int>(kRetry.count()));
      std::fflush(stderr);
      retryAt = now + kRetry;
    }
    if (lost && now >= retryAt) {
      mediaControl_->Stop();
      rewind();
      mediaControl_->Run();
      retryAt = now + kRetry;
    }
  }
}

// A file starts again from its beginning; a camera has no position, and
// the call fails harmlessly.
void GraphSession::rewind() {
  ComPtr<IMediaSeeking> seeking;
  if (FAILED(graph_.query(IID_IMediaSeeking, seeking)) || !seeking) return;
  LONGLONG start = 0;
  seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}

namespace {

class GraphBackend final : public CaptureBackend {
 public:
  GraphBackend(std::unique_ptr<GraphSourceKind> sources, ComFactory factory)
      : sources_(std::move(sources)), factory_(std::move(factory)) {}

  const char* kind() const override { return sources_->kind(); }

  DeviceListResult listDevices(std::vector<std::string>& names) override {
    ApartmentScope apartment;
    return sources_->listNames(factory_, names);
  }

  std::unique_ptr<CaptureSession> createSession() override {
    return GraphSession::create(factory_, *sources_, report_, presence_);
  }

  std::string sessionReport() const override { return report_; }

  bool deviceAbsent(std::string_view name) const override { return presence_->absent(name); }

 private:
  ApartmentKeeper apartment_;
  std::unique_ptr<GraphSourceKind> sources_;
  ComFactory factory_;
  std::string report_;
  std::shared_ptr<CameraPresence> presence_ = std::make_shared<CameraPresence>();
};

}  // namespace

std::unique_ptr<CaptureBackend> makeBackend(std::unique_ptr<GraphSourceKind> sources, ComFactory factory) {
  return std::make_unique<GraphBackend>(std::move(sources), std::move(factory));
}

}  // namespace tessary::directshow

namespace tessary {

std::unique_ptr<CaptureBackend> makeDirectShowCaptureBackend() {
  return directshow::makeBackend(directshow::makeDeviceSourceKind());
}

std::unique_ptr<CaptureBackend> makeDirectShowFileBackend(std::string path) {
  return directshow::makeBackend(directshow::makeFileSourceKind(std::move(path)));
}

}  // namespace tessary
