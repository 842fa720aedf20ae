// The GStreamer capture path: what converting and scaling one picture into
// the frame costs there (against the portable area-average scaler, the
// peer, in the same run), and how long a frame takes from leaving its
// source to reaching our hand-over, for a live source.
#include <benchmark/benchmark.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "capture/frame_scaler.h"
#include "common/frame.h"
#include "platform/linux/gstreamer_capture_backend.h"

namespace tessary {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> yuyvNoise(int width, int height) {
  std::vector<std::uint8_t> picture(std::size_t(width) * height * 2);
  std::mt19937 random(3);
  for (auto& byte : picture) byte = static_cast<std::uint8_t>(random());
  return picture;
}

// One YUY2 camera picture through the pipeline's tail: pushed into appsrc,
// pulled scaled from the sink. The hand-over between the two threads is part
// of the cost, as it is when a camera delivers.
void BM_GstreamerTailYuyv(benchmark::State& state) {
  const int width = int(state.range(0)), height = int(state.range(1));
  gst_init(nullptr, nullptr);
  const std::string description = "appsrc name=feed is-live=false format=time caps=video/x-raw,format=YUY2,width=" +
                                  std::to_string(width) + ",height=" + std::to_string(height) +
                                  ",framerate=30/1 ! " + gstreamerTail();
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  GstElement* feed = gst_bin_get_by_name(GST_BIN(pipeline), "feed");
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "tessary_sink");
  g_object_set(sink, "sync", FALSE, "max-buffers", 1, "drop", FALSE, nullptr);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  const std::vector<std::uint8_t> picture = yuyvNoise(width, height);
  guint64 frame = 0;
  for (auto _ : state) {
    GstBuffer* buffer = gst_buffer_new_memdup(picture.data(), picture.size());
    GST_BUFFER_PTS(buffer) = frame++ * GST_SECOND / 30;
    gst_app_src_push_buffer(GST_APP_SRC(feed), buffer);
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    benchmark::DoNotOptimize(sample);
    if (sample) gst_sample_unref(sample);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(feed);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
}

// The peer: the portable scaler on the same picture.
void BM_FrameScalerYuyv(benchmark::State& state) {
  const int width = int(state.range(0)), height = int(state.range(1));
  const std::vector<std::uint8_t> picture = yuyvNoise(width, height);
  FrameScaler scaler;
  scaler.configure({ScalerPixels::kYuyv, width, height, 0, false});
  std::vector<std::uint8_t> frame(kFrameBytes);
  for (auto _ : state) {
    scaler.scale(picture, frame);
    benchmark::DoNotOptimize(frame.data());
  }
}

BENCHMARK(BM_GstreamerTailYuyv)->Args({640, 480})->Args({1280, 720})->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_FrameScalerYuyv)->Args({640, 480})->Args({1280, 720})->MeasureProcessCPUTime()->UseRealTime();

// A live 30 fps source: each buffer is stamped as it leaves the source and
// again when the sink hands it over, as the capture layer's callback runs.
// Reports the median and 99th percentile of 150 frames in microseconds.
void BM_LiveSourceToHandOver(benchmark::State& state) {
  const int width = int(state.range(0)), height = int(state.range(1));
  gst_init(nullptr, nullptr);
  const std::string description = "videotestsrc is-live=true pattern=snow ! video/x-raw,format=YUY2,width=" +
                                  std::to_string(width) + ",height=" + std::to_string(height) +
                                  ",framerate=30/1 ! identity name=leaving ! " + gstreamerTail();
  struct Stamps {
    std::mutex mutex;
    std::map<GstClockTime, Clock::time_point> leaving;
    std::vector<double> micros;
  } stamps;
  for (auto _ : state) {
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    GstElement* leaving = gst_bin_get_by_name(GST_BIN(pipeline), "leaving");
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "tessary_sink");
    GstPad* pad = gst_element_get_static_pad(leaving, "sink");
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo* info, gpointer data) {
          auto* s = static_cast<Stamps*>(data);
          std::lock_guard lock(s->mutex);
          s->leaving[GST_BUFFER_PTS(GST_PAD_PROBE_INFO_BUFFER(info))] = Clock::now();
          return GST_PAD_PROBE_OK;
        },
        &stamps, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = [](GstAppSink* appsink, gpointer data) {
      const Clock::time_point now = Clock::now();
      auto* s = static_cast<Stamps*>(data);
      GstSample* sample = gst_app_sink_pull_sample(appsink);
      if (sample == nullptr) return GST_FLOW_OK;
      std::lock_guard lock(s->mutex);
      auto found = s->leaving.find(GST_BUFFER_PTS(gst_sample_get_buffer(sample)));
      if (found != s->leaving.end()) {
        s->micros.push_back(std::chrono::duration<double, std::micro>(now - found->second).count());
      }
      gst_sample_unref(sample);
      return GST_FLOW_OK;
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &stamps, nullptr);
    // Live: taken as they come, as the capture layer does for a live source.
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (true) {
      {
        std::lock_guard lock(stamps.mutex);
        if (stamps.micros.size() >= 150) break;
      }
      g_usleep(20'000);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pad);
    gst_object_unref(leaving);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
  }
  std::vector<double> micros = stamps.micros;
  std::sort(micros.begin(), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[micros.size() * 99 / 100];
  state.counters["frames"] = double(micros.size());
}

BENCHMARK(BM_LiveSourceToHandOver)->Args({640, 480})->Args({1280, 720})->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace tessary

BENCHMARK_MAIN();
