#include "platform/linux/gstreamer_capture_backend.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "capture/camera_presence.h"
#include "capture/capture_backend_choice.h"
#include "capture/demo_capture_backend.h"
#include "common/frame.h"

namespace tessary {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kPipelinePrefix = "gst:";
constexpr auto kBusPoll = std::chrono::milliseconds(100);  // how soon a stop is noticed

// Everything after the source: decode and convert, scale the whole picture
// (multi-tap, so every source pixel counts and nothing aliases; no borders,
// so a wide picture is stretched, not letterboxed) and keep one buffer.
constexpr const char* kTail =
    "videoconvert name=tessary_convert ! videoscale method=bilinear2 add-borders=false ! "
    "appsink name=tessary_sink caps=video/x-raw,format=BGRx,width=160,height=120 "
    "max-buffers=1 drop=true sync=true enable-last-sample=false";

bool gstreamerReady(std::string& error) {
  static std::once_flag once;
  static bool ready = false;
  static std::string why;
  std::call_once(once, [] {
    GError* failure = nullptr;
    ready = gst_init_check(nullptr, nullptr, &failure) != FALSE;
    if (!ready) why = failure ? failure->message : "GStreamer could not start";
    if (failure) g_error_free(failure);
  });
  if (!ready) error = why;
  return ready;
}

template <typename T>
struct GstUnref {
  void operator()(T* object) const {
    if (object) gst_object_unref(object);
  }
};
using ElementRef = std::unique_ptr<GstElement, GstUnref<GstElement>>;
using DeviceRef = std::unique_ptr<GstDevice, GstUnref<GstDevice>>;

std::string takeText(gchar* text) {
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

// The cameras GStreamer lists, in its order.
std::vector<DeviceRef> listCameras() {
  std::vector<DeviceRef> devices;
  GstDeviceMonitor* monitor = gst_device_monitor_new();
  gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
  GList* found = gst_device_monitor_get_devices(monitor);
  for (GList* item = found; item != nullptr; item = item->next) {
    devices.emplace_back(GST_DEVICE(item->data));
  }
  g_list_free(found);
  gst_object_unref(monitor);
  return devices;
}

std::string deviceName(GstDevice* device) { return takeText(gst_device_get_display_name(device)); }

std::vector<std::string> cameraNames() {
  std::vector<std::string> names;
  for (const DeviceRef& device : listCameras()) names.push_back(deviceName(device.get()));
  return names;
}

std::string lowered(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

// The caps a camera is opened with: its smallest mode of at least 160 x 120,
// raw pictures before compressed ones of the same size (they need no
// decoding). Empty when the camera states no usable mode; it then chooses.
std::string cameraMode(GstDevice* device) {
  GstCaps* caps = gst_device_get_caps(device);
  if (caps == nullptr) return {};
  std::string best;
  long long bestArea = 0;
  bool bestRaw = false;
  for (guint index = 0; index < gst_caps_get_size(caps); ++index) {
    GstStructure* structure = gst_caps_get_structure(caps, index);
    int width = 0, height = 0;
    if (!gst_structure_get_int(structure, "width", &width) ||
        !gst_structure_get_int(structure, "height", &height) || width < kFrameWidth ||
        height < kFrameHeight) {
      continue;
    }
    const std::string media = gst_structure_get_name(structure);
    const bool raw = media == "video/x-raw";
    if (!raw && media != "image/jpeg") continue;
    const long long area = static_cast<long long>(width) * height;
    if (!best.empty() && (area > bestArea || (area == bestArea && (bestRaw || !raw)))) continue;
    best = media + ",width=" + std::to_string(width) + ",height=" + std::to_string(height);
    if (raw) {
      const char* format = gst_structure_get_string(structure, "format");
      if (format != nullptr) best += std::string(",format=") + format;
    }
    bestArea = area;
    bestRaw = raw;
  }
  gst_caps_unref(caps);
  return best;
}

// One source as the user named it.
struct SourceSpec {
  enum class Kind { kCamera, kUri, kPipeline } kind = Kind::kCamera;
  std::string name;  // the name listed for it
  std::string text;  // the URI or the pipeline
  bool loops = false;  // a file starts over at its end
};

void say(const std::string& line) {
  std::fprintf(stderr, "tessary: %s\n", line.c_str());
  std::fflush(stderr);
}

// A running pipeline and its sink; torn down in its destructor, which
// returns once no streaming thread runs.
class Pipeline {
 public:
  Pipeline() = default;
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;
  ~Pipeline() {
    if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
  }

  // Builds the pipeline for the source; false with `error` when it cannot.
  bool build(const SourceSpec& source, std::string& error) {
    GError* failure = nullptr;
    if (source.kind == SourceSpec::Kind::kCamera) {
      DeviceRef device;
      for (DeviceRef& candidate : listCameras()) {
        if (deviceName(candidate.get()) == source.name) device = std::move(candidate);
      }
      if (!device) {
        error = "it is not connected";
        return false;
      }
      const std::string mode = cameraMode(device.get());
      mode_ = mode;
      GstElement* camera = gst_device_create_element(device.get(), "tessary_source");
      if (camera == nullptr) {
        error = "GStreamer cannot open it";
        return false;
      }
      const std::string decode = mode.starts_with("image/jpeg") ? "jpegdec ! " : "";
      const std::string tail =
          (mode.empty() ? std::string() : "capsfilter caps=\"" + mode + "\" ! ") + decode + kTail;
      GstElement* rest = gst_parse_bin_from_description(tail.c_str(), TRUE, &failure);
      if (rest == nullptr) {
        gst_object_unref(gst_object_ref_sink(camera));
        error = failure ? failure->message : "the pipeline cannot be made";
        if (failure) g_error_free(failure);
        return false;
      }
      pipeline_.reset(gst_pipeline_new("tessary_camera"));
      gst_bin_add_many(GST_BIN(pipeline_.get()), camera, rest, nullptr);
      if (!gst_element_link(camera, rest)) {
        error = "the camera offers no picture GStreamer can convert";
        return false;
      }
      sink_.reset(gst_bin_get_by_name(GST_BIN(rest), "tessary_sink"));
    } else {
      const std::string description =
          source.kind == SourceSpec::Kind::kUri
              ? "uridecodebin name=tessary_source uri=\"" + source.text + "\" ! " + kTail
              : source.text + " ! " + kTail;
      GstElement* element = gst_parse_launch(description.c_str(), &failure);
      if (element == nullptr || failure != nullptr) {
        error = failure ? failure->message : "the pipeline cannot be made";
        if (failure) g_error_free(failure);
        if (element) gst_object_unref(element);
        return false;
      }
      pipeline_.reset(element);
      sink_.reset(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "tessary_sink"));
    }
    if (!sink_) {
      error = "the pipeline has no sink";
      return false;
    }
    return true;
  }

  // Starts it; a live source's frames are taken as they come rather than
  // held to the clock, which would add a frame of latency.
  bool play(std::string& error) {
    GstStateChangeReturn result = gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    if (result == GST_STATE_CHANGE_FAILURE) {
      error = "it cannot be started";
      return false;
    }
    if (result == GST_STATE_CHANGE_NO_PREROLL) {
      g_object_set(sink_.get(), "sync", FALSE, nullptr);
    }
    return true;
  }

  GstElement* element() const { return pipeline_.get(); }
  GstElement* sink() const { return sink_.get(); }
  const std::string& mode() const { return mode_; }

  // What enters the conversion: the source's size and format.
  std::string pictureText() const {
    ElementRef convert(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "tessary_convert"));
    if (!convert) return {};
    GstPad* pad = gst_element_get_static_pad(convert.get(), "sink");
    GstCaps* caps = pad ? gst_pad_get_current_caps(pad) : nullptr;
    std::string text;
    GstVideoInfo info;
    if (caps != nullptr && gst_video_info_from_caps(&info, caps)) {
      text = std::to_string(GST_VIDEO_INFO_WIDTH(&info)) + " x " +
             std::to_string(GST_VIDEO_INFO_HEIGHT(&info)) + " " +
             gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info));
    }
    if (caps) gst_caps_unref(caps);
    if (pad) gst_object_unref(pad);
    return text;
  }

 private:
  ElementRef pipeline_;
  ElementRef sink_;
  std::string mode_;
};

class GstSession final : public CaptureSession {
 public:
  GstSession(std::vector<SourceSpec> sources, std::shared_ptr<CameraPresence> presence,
             GstreamerTiming timing)
      : sources_(std::move(sources)), presence_(std::move(presence)), timing_(timing) {}
  ~GstSession() override { stop(); }

  BindResult bindDevice(std::string_view name) override {
    stop();
    bound_ = false;
    if (sources_.empty()) return BindResult::kNoDevices;
    for (auto listed = sources_.rbegin(); listed != sources_.rend(); ++listed) {
      if (listed->name == name) {
        source_ = *listed;
        bound_ = true;
        return BindResult::kBound;
      }
    }
    return BindResult::kNotFound;
  }

  void unbindDevice() override {
    stop();
    bound_ = false;
  }

  // Every source is scaled to the frame, so the frame size is its one mode.
  bool listCapabilities(std::vector<CaptureCapability>& capabilities) override {
    capabilities.clear();
    if (!bound_) return false;
    capabilities.push_back({PixelFormat::kRgb32, kFrameWidth, kFrameHeight, 0});
    return true;
  }

  // The source keeps its own rate; processing thins a faster one.
  bool setFormat(const CaptureCapability& capability, std::int32_t) override {
    return bound_ && !streaming_.joinable() && capability.width == kFrameWidth &&
           capability.height == kFrameHeight;
  }

  ConnectResult connect() override {
    if (!bound_) {
      lastError_ = "No source bound.";
      return ConnectResult::kFailed;
    }
    std::string error;
    if (!gstreamerReady(error)) {
      lastError_ = error;
      return ConnectResult::kFailed;
    }
    frame_.assign(kFrameBytes, 0);
    return ConnectResult::kConnected;
  }

  void setSampleSink(SampleSink* sink) override { sink_ = sink; }

  bool start() override {
    if (streaming_.joinable()) return true;
    if (!bound_ || frame_.empty()) {
      lastError_ = "Not connected.";
      return false;
    }
    streaming_ = std::jthread([this](std::stop_token stop) { supervise(stop); });
    return true;
  }

  void stop() override {
    if (!streaming_.joinable()) return;
    streaming_.request_stop();
    streaming_.join();
    streaming_ = std::jthread();
  }

  std::string lastError() const override { return lastError_; }

 private:
  // Keeps the source playing: builds and starts its pipeline, watches its
  // bus, and after a failure, an end or a stall says so once, marks the
  // source absent and tries again every timing_.retry until it returns.
  void supervise(std::stop_token stop) {
    bool lost = false;
    while (!stop.stop_requested()) {
      std::string why;
      {
        Pipeline pipeline;
        if (pipeline.build(source_, why) && pipeline.play(why)) {
          why = watch(pipeline, stop, lost);
        }
      }  // the streaming threads end here
      if (stop.stop_requested()) break;
      if (!lost) {
        lost = true;
        presence_->setAbsent(source_.name, true);
        say("camera '" + source_.name + "' lost: " + why + "; trying again every " +
            std::to_string(timing_.retry.count() / 1000.0).substr(0, 3) + " s");
      }
      waitFor(stop, timing_.retry);
    }
  }

  // Runs until the pipeline fails, ends, stalls or the stop comes; returns
  // why it ended.
  std::string watch(Pipeline& pipeline, std::stop_token stop, bool& lost) {
    samples_.store(0);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &GstSession::onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(pipeline.sink()), &callbacks, this, nullptr);
    GstBus* bus = gst_element_get_bus(pipeline.element());
    const Clock::time_point started = Clock::now();
    std::uint64_t seen = 0;
    Clock::time_point lastPicture = started;
    bool announced = false;
    std::string why;
    while (!stop.stop_requested() && why.empty()) {
      GstMessage* message = gst_bus_timed_pop_filtered(
          bus, std::chrono::duration_cast<std::chrono::nanoseconds>(kBusPoll).count(),
          static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
      if (message != nullptr) {
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
          GError* error = nullptr;
          gst_message_parse_error(message, &error, nullptr);
          why = error ? error->message : "a stream error";
          if (error) g_error_free(error);
        } else if (source_.loops) {
          gst_element_seek_simple(pipeline.element(), GST_FORMAT_TIME,
                                  static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0);
        } else {
          why = "the stream ended";
        }
        gst_message_unref(message);
      }
      const Clock::time_point now = Clock::now();
      const std::uint64_t count = samples_.load(std::memory_order_relaxed);
      if (count != seen) {
        seen = count;
        lastPicture = now;
        if (!announced) {
          announced = true;
          const std::string mode = pipeline.mode().empty() ? "" : " (mode " + pipeline.mode() + ")";
          if (lost) {
            lost = false;
            presence_->setAbsent(source_.name, false);
            say("camera '" + source_.name + "' is back: " + pipeline.pictureText() + mode +
                ", scaled to 160 x 120");
          } else {
            say("camera '" + source_.name + "': " + pipeline.pictureText() + mode +
                ", scaled to 160 x 120");
          }
        }
      } else if (seen == 0 && now - started > timing_.firstPicture) {
        why = "no picture came";
      } else if (seen != 0 && now - lastPicture > timing_.stall) {
        why = "no picture for " + std::to_string(timing_.stall.count() / 1000) + " s";
      }
    }
    gst_object_unref(bus);
    return why;
  }

  static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self) {
    static_cast<GstSession*>(self)->deliver(sink);
    return GST_FLOW_OK;
  }

  // On the pipeline's streaming thread: one scaled picture to the camera,
  // straight from the pipeline's buffer when its rows are packed.
  void deliver(GstAppSink* sink) {
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (sample == nullptr) return;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    GstMapInfo map;
    if (buffer != nullptr && gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
        GST_VIDEO_INFO_WIDTH(&info) == kFrameWidth && GST_VIDEO_INFO_HEIGHT(&info) == kFrameHeight &&
        gst_buffer_map(buffer, &map, GST_MAP_READ)) {
      const std::size_t stride = static_cast<std::size_t>(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0));
      const std::size_t offset = GST_VIDEO_INFO_PLANE_OFFSET(&info, 0);
      if (stride >= kFrameStride && map.size >= offset + stride * (kFrameHeight - 1) + kFrameStride) {
        const std::uint8_t* picture = map.data + offset;
        if (stride != kFrameStride) {
          for (int row = 0; row < kFrameHeight; ++row) {
            std::copy_n(picture + stride * static_cast<std::size_t>(row), kFrameStride,
                        frame_.data() + static_cast<std::size_t>(row) * kFrameStride);
          }
          picture = frame_.data();
        }
        const std::int64_t time = GST_BUFFER_PTS_IS_VALID(buffer)
                                      ? static_cast<std::int64_t>(GST_BUFFER_PTS(buffer) / 100)
                                      : 0;
        if (sink_ != nullptr) sink_->onSample(MediaSample{picture, kFrameBytes, time});
        samples_.fetch_add(1, std::memory_order_relaxed);
      }
      gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
  }

  static void waitFor(std::stop_token stop, std::chrono::milliseconds period) {
    const Clock::time_point until = Clock::now() + period;
    while (!stop.stop_requested() && Clock::now() < until) std::this_thread::sleep_for(kBusPoll);
  }

  std::vector<SourceSpec> sources_;
  std::shared_ptr<CameraPresence> presence_;
  GstreamerTiming timing_;
  SourceSpec source_;
  bool bound_ = false;
  // Rows repacked from a padded buffer; only the streaming thread writes it
  // after start().
  std::vector<std::uint8_t> frame_;
  std::atomic<std::uint64_t> samples_{0};
  SampleSink* sink_ = nullptr;
  std::string lastError_;
  std::jthread streaming_;
};

class GstBackend final : public CaptureBackend {
 public:
  // Fixed sources, or (with none) every camera listed at the time of asking.
  GstBackend(std::vector<SourceSpec> sources, GstreamerTiming timing)
      : fixed_(std::move(sources)), timing_(timing) {}

  const char* kind() const override { return "gst"; }

  DeviceListResult listDevices(std::vector<std::string>& names) override {
    names.clear();
    std::string error;
    if (!gstreamerReady(error)) return DeviceListResult::kNoEnumerator;
    for (const SourceSpec& source : sources()) names.push_back(source.name);
    return DeviceListResult::kListed;
  }

  std::unique_ptr<CaptureSession> createSession() override {
    std::string error;
    if (!gstreamerReady(error)) {
      report_ = "GStreamer: " + error + "\n";
      return nullptr;
    }
    report_.clear();
    return std::make_unique<GstSession>(sources(), presence_, timing_);
  }

  std::string sessionReport() const override { return report_; }

  bool deviceAbsent(std::string_view name) const override { return presence_->absent(name); }

 private:
  std::vector<SourceSpec> sources() const {
    if (!fixed_.empty()) return fixed_;
    std::vector<SourceSpec> cameras;
    for (std::string& name : cameraNames()) cameras.push_back({SourceSpec::Kind::kCamera, std::move(name), {}, false});
    return cameras;
  }

  std::vector<SourceSpec> fixed_;
  GstreamerTiming timing_;
  std::shared_ptr<CameraPresence> presence_ = std::make_shared<CameraPresence>();
  std::string report_;
};

bool looksLikeUri(std::string_view source) {
  const std::size_t colon = source.find("://");
  if (colon == std::string_view::npos || colon == 0) return false;
  return std::all_of(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
  });
}

}  // namespace

const char* gstreamerTail() { return kTail; }

std::unique_ptr<CaptureBackend> makeCaptureBackend(std::string_view source, std::string& error,
                                                   std::string* choice, GstreamerTiming timing) {
  error.clear();
  if (source == "demo" || source.starts_with("raw:")) {
    return chooseCaptureBackend(source, "gst", nullptr, error, choice);
  }
  if (!gstreamerReady(error)) {
    error = "GStreamer cannot start: " + error;
    return nullptr;
  }
  using Kind = SourceSpec::Kind;
  if (source == "gst" || source == "v4l2") return std::make_unique<GstBackend>(std::vector<SourceSpec>{}, timing);
  if (source == "auto") {
    std::vector<std::string> names = cameraNames();
    if (names.empty()) {
      if (choice) *choice = "camera auto: no camera found; using the demo camera, whose motion is made up";
      return makeDemoCaptureBackend();
    }
    if (choice) *choice = "camera auto: using the camera '" + names.front() + "'";
    return std::make_unique<GstBackend>(
        std::vector<SourceSpec>{{Kind::kCamera, names.front(), {}, false}}, timing);
  }
  if (source.starts_with(kPipelinePrefix)) {
    std::string pipeline(source.substr(kPipelinePrefix.size()));
    if (pipeline.empty()) {
      error = "gst: needs a pipeline that ends in a video source, as in gst:videotestsrc";
      return nullptr;
    }
    // A pipeline that cannot even be made is a mistake in the option, not a
    // camera that may come back.
    GError* failure = nullptr;
    GstElement* trial = gst_parse_launch((pipeline + " ! " + kTail).c_str(), &failure);
    if (trial) gst_object_unref(trial);
    if (trial == nullptr || failure != nullptr) {
      error = std::string("the pipeline cannot be made: ") + (failure ? failure->message : "unknown error");
      if (failure) g_error_free(failure);
      return nullptr;
    }
    return std::make_unique<GstBackend>(std::vector<SourceSpec>{{Kind::kPipeline, std::string(source), pipeline, false}},
                                        timing);
  }
  if (looksLikeUri(source)) {
    const bool file = source.starts_with("file://");
    return std::make_unique<GstBackend>(
        std::vector<SourceSpec>{{Kind::kUri, std::string(source), std::string(source), file}}, timing);
  }
  std::error_code ignored;
  const std::string text(source);
  if (std::filesystem::exists(text, ignored)) {
    GError* failure = nullptr;
    gchar* uri = gst_filename_to_uri(text.c_str(), &failure);
    if (uri == nullptr) {
      error = std::string("not a usable file path: ") + (failure ? failure->message : "");
      if (failure) g_error_free(failure);
      return nullptr;
    }
    return std::make_unique<GstBackend>(std::vector<SourceSpec>{{Kind::kUri, text, takeText(uri), true}}, timing);
  }
  // A camera by name, or by a part of its name that only one camera's holds.
  const std::vector<std::string> names = cameraNames();
  std::vector<std::string> matches;
  for (const std::string& name : names) {
    if (name == source) {
      matches = {name};
      break;
    }
    if (lowered(name).find(lowered(source)) != std::string::npos) matches.push_back(name);
  }
  if (matches.size() == 1) {
    return std::make_unique<GstBackend>(std::vector<SourceSpec>{{Kind::kCamera, matches.front(), {}, false}},
                                        timing);
  }
  std::string listed;
  for (const std::string& name : names) listed += (listed.empty() ? "'" : ", '") + name + "'";
  if (listed.empty()) listed = "none";
  error = (matches.empty() ? "no camera, file or stream of that name" : "more than one camera's name holds it") +
          std::string(" (cameras: ") + listed + "); use a camera's name, a file path, a URL, gst:PIPELINE, " +
          "auto, demo or raw:PATH";
  return nullptr;
}

}  // namespace tessary
