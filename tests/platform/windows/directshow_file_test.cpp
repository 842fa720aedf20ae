// A generated AVI file played through the whole capture graph (file source,
// AVI splitter, sample grabber, null renderer): frames reach the camera as
// upright RGB32 with the file's pixels (which the file keeps bottom-up), and
// a zone over the moving block fires through the video controller while a
// zone elsewhere stays quiet.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "capture/camera_registry.h"
#include "platform/windows/directshow_sources.h"
#include "platform/windows/directshow_capture_backend.h"
#include "zones/controller_test_support.h"
#include "zones/video_controller.h"
#include "zones/zone_event_sink.h"

namespace tessary::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kFileFrames = 150;  // ten seconds at 15 frames a second
constexpr int kBlockTop = 20;     // picture rows 20 to 31
constexpr int kBlockSize = 12;

// Frame i as the file stores it: the textured picture with the block at
// column 4 + 6i (wrapping), bottom row first.
Bytes storedFrame(int index) {
  const Bytes picture = texturedPicture(4 + (6 * index) % 140, kBlockTop, kBlockSize);
  Bytes frame(kFrameBytes);
  for (int row = 0; row < kFrameHeight; ++row) {
    std::memcpy(&frame[static_cast<std::size_t>((kFrameHeight - 1 - row) * kFrameStride)],
                &picture[static_cast<std::size_t>(row * kFrameStride)], kFrameStride);
  }
  return frame;
}

// An uncompressed AVI of bottom-up frames (160 x 120 unless told) at 15
// frames a second, 32 or 24 bits a pixel.
class AviWriter {
 public:
  void write(const std::filesystem::path& path, const std::vector<Bytes>& frames, std::uint32_t bits = 32,
             std::uint32_t width = kFrameWidth, std::uint32_t height = kFrameHeight) {
    const auto frameSize = static_cast<std::uint32_t>(frames.front().size());
    const auto count = static_cast<std::uint32_t>(frames.size());
    begin("RIFF", "AVI ");
    begin("LIST", "hdrl");
    chunk("avih", {66'666, frameSize * 15, 0, 0x10 /* has index */, count, 0, 1, frameSize, width, height,
                   0, 0, 0, 0});
    begin("LIST", "strl");
    const std::size_t header = chunk("strh", {fourcc("vids"), 0, 0, 0, 0, 1, 15, 0, count, frameSize,
                                              0xFFFFFFFF, 0, 0, 0});
    // rcFrame: four 16-bit values, 0, 0, width, height.
    put32(header + 48, 0);
    put32(header + 52, width | (height << 16));
    chunk("strf", {40, width, height, 1 | (bits << 16), 0, frameSize, 0, 0, 0, 0});
    end();
    end();
    begin("LIST", "movi");
    const std::size_t movi = bytes_.size() - 4;
    std::vector<std::uint32_t> index;
    for (const Bytes& frame : frames) {
      index.insert(index.end(), {fourcc("00db"), 0x10 /* key frame */,
                                 static_cast<std::uint32_t>(bytes_.size() - movi), frameSize});
      append32(fourcc("00db"));
      append32(frameSize);
      bytes_.insert(bytes_.end(), frame.begin(), frame.end());
    }
    end();
    chunk("idx1", index);
    end();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
  }

 private:
  static std::uint32_t fourcc(const char* code) {
    std::uint32_t value;
    std::memcpy(&value, code, 4);
    return value;
  }
  void append32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
  }
  void put32(std::size_t at, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes_[at++] = static_cast<std::uint8_t>(value >> shift);
  }
  void begin(const char* list, const char* type) {
    append32(fourcc(list));
    open_.push_back(bytes_.size());
    append32(0);
    append32(fourcc(type));
  }
  void end() {
    const std::size_t at = open_.back();
    open_.pop_back();
    put32(at, static_cast<std::uint32_t>(bytes_.size() - at - 4));
  }
  // The chunk's data offset.
  std::size_t chunk(const char* id, const std::vector<std::uint32_t>& words) {
    append32(fourcc(id));
    append32(static_cast<std::uint32_t>(words.size() * 4));
    const std::size_t data = bytes_.size();
    for (std::uint32_t word : words) append32(word);
    return data;
  }

  Bytes bytes_;
  std::vector<std::size_t> open_;
};

// The index in the file of an upright frame, or -1: the file stores its
// rows bottom-up. The unused byte of each pixel is not compared.
int indexOf(const std::uint8_t* frame, const std::vector<Bytes>& frames) {
  for (std::size_t i = 0; i < frames.size(); ++i) {
    bool same = true;
    for (std::size_t byte = 0; byte < kFrameBytes && same; ++byte) {
      const std::size_t row = byte / kFrameStride, column = byte % kFrameStride;
      same = byte % 4 == 3 || frame[byte] == frames[i][(kFrameHeight - 1 - row) * kFrameStride + column];
    }
    if (same) return static_cast<int>(i);
  }
  return -1;
}

// Keeps a copy of the newest frame a camera hands on.
class NewestFrame final : public FrameConsumer {
 public:
  void onFrame(const FrameView& frame) override {
    std::lock_guard lock(mutex_);
    copy_.assign(frame.pixels, frame.pixels + frame.bytes);
  }
  bool get(Bytes& out) {
    std::lock_guard lock(mutex_);
    out = copy_;
    return !out.empty();
  }
  void clear() {
    std::lock_guard lock(mutex_);
    copy_.clear();
  }

 private:
  std::mutex mutex_;
  Bytes copy_;
};

class HitCounter final : public ZoneEventSink {
 public:
  void onZoneEvents(const ZoneEventBatch& batch) override {
    for (const ZoneHit& hit : batch.hits) (hit.zoneId == band ? bandHits : otherHits).fetch_add(1);
  }
  std::int32_t band = -1;
  std::atomic<int> bandHits{0};
  std::atomic<int> otherHits{0};
};

class DirectShowFile : public ::testing::Test {
 protected:
  void SetUp() override {
    // Wine splits AVI files with GStreamer: without its avidemux element
    // every case here would fail for a reason that is not ours.
    directshow::ApartmentScope apartment;
    directshow::ComPtr<IBaseFilter> splitter;
    ASSERT_EQ(directshow::createInProcess(CLSID_AviSplitter, IID_IBaseFilter, splitter.putVoid()), S_OK)
        << "no AVI splitter: under Wine install gstreamer1.0-plugins-good and gstreamer1.0-plugins-base";
  }

  static void SetUpTestSuite() {
    frames_ = new std::vector<Bytes>();
    for (int i = 0; i < kFileFrames; ++i) frames_->push_back(storedFrame(i));
    AviWriter().write(path(), *frames_);
  }
  static void TearDownTestSuite() {
    std::filesystem::remove(path());
    delete frames_;
  }
  // In the working (build) directory, so that builds can run side by side;
  // one file per process, as test cases may run in parallel.
  static std::filesystem::path path(std::string_view kind = "") {
    return std::filesystem::current_path() /
           ("tessary_directshow_test" + std::string(kind) + "_" + std::to_string(GetCurrentProcessId()) + ".avi");
  }
  static std::string name() { return path().string(); }

  static std::vector<Bytes>* frames_;
};

std::vector<Bytes>* DirectShowFile::frames_ = nullptr;

TEST_F(DirectShowFile, DeliversTheFilesPicturesUprightInRgb32) {
  CameraRegistry registry(makeDirectShowFileBackend(name()));
  ASSERT_EQ(registry.scanCameras(kFrameWidth, kFrameHeight), 1);
  bool ok = false;
  EXPECT_EQ(registry.cameraName(0, ok), name());
  ASSERT_TRUE(registry.open({kFrameWidth, kFrameHeight, 15, name()})) << registry.openReport();
  EXPECT_NE(registry.openReport().find("All Ok.\nOUT[Init()]\n* End Report.\n"), std::string::npos)
      << registry.openReport();
  Camera* camera = registry.find(name());
  ASSERT_NE(camera, nullptr);
  EXPECT_NE(camera->report().find("Camera running at 15 fps.\n"), std::string::npos);

  NewestFrame newest;
  camera->setFrameConsumer(&newest);
  ASSERT_TRUE(camera->start());
  std::set<int> seen;
  int foreign = 0;
  waitUntil([&] {
    Bytes frame;
    if (newest.get(frame)) {
      const int index = indexOf(frame.data(), *frames_);
      if (index < 0) ++foreign;
      seen.insert(index);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    return seen.size() >= 5;
  });
  camera->stop();
  camera->setFrameConsumer(nullptr);
  EXPECT_GE(seen.size(), 5u);
  EXPECT_EQ(foreign, 0);
}

TEST_F(DirectShowFile, SessionStopsDeliveringAndRebinds) {
  std::atomic<int> delivered{0};
  struct Counter final : SampleSink {
    void onSample(const MediaSample& sample) override {
      if (sample.size == kFrameBytes) count->fetch_add(1);
    }
    std::atomic<int>* count = nullptr;
  } counter;
  counter.count = &delivered;
  {
    auto backend = makeDirectShowFileBackend(name());
    std::unique_ptr<CaptureSession> session = backend->createSession();
    ASSERT_NE(session, nullptr) << backend->sessionReport();
    EXPECT_EQ(backend->sessionReport(), "");
    session->setSampleSink(&counter);
    EXPECT_EQ(session->bindDevice("elsewhere.avi"), BindResult::kNotFound);
    ASSERT_EQ(session->bindDevice(name()), BindResult::kBound);
    std::vector<CaptureCapability> offered;
    ASSERT_TRUE(session->listCapabilities(offered));
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0].format, PixelFormat::kRgb32);
    EXPECT_EQ(offered[0].width, kFrameWidth);
    EXPECT_EQ(offered[0].height, kFrameHeight);
    EXPECT_FALSE(session->start());  // not connected yet
    ASSERT_TRUE(session->setFormat(offered[0], 15));
    ASSERT_EQ(session->connect(), ConnectResult::kConnected) << session->lastError();

    for (int run = 0; run < 2; ++run) {
      const int before = delivered.load();
      if (run == 0) {
        ASSERT_TRUE(session->start()) << session->lastError();
      } else {
        // Capture also starts from the link's accept thread.
        bool started = false;
        std::thread([&] { started = session->start(); }).join();
        ASSERT_TRUE(started) << session->lastError();
      }
      EXPECT_TRUE(waitUntil([&] { return delivered.load() >= before + 3; }));
      session->stop();
      const int stopped = delivered.load();
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      EXPECT_EQ(delivered.load(), stopped) << "a sample arrived after stop";
    }
    // Binding again replaces the chain; the session still works.
    ASSERT_EQ(session->bindDevice(name()), BindResult::kBound);
    ASSERT_TRUE(session->setFormat(offered[0], 15));
    ASSERT_EQ(session->connect(), ConnectResult::kConnected) << session->lastError();
  }
}

// Each pixel of a frame as a 4 x 4 block: a 640 x 480 picture that scales
// back into exactly that frame.
Bytes enlarged(const Bytes& frame) {
  constexpr int kScale = 4;
  Bytes picture(kFrameBytes * kScale * kScale);
  const std::size_t rowBytes = std::size_t{kFrameStride} * kScale;
  for (int row = 0; row < kFrameHeight * kScale; ++row) {
    for (int column = 0; column < kFrameWidth * kScale; ++column) {
      std::memcpy(&picture[row * rowBytes + std::size_t(column) * 4],
                  &frame[std::size_t(row / kScale) * kFrameStride + std::size_t(column / kScale) * 4], 4);
    }
  }
  return picture;
}

// A file offering only 640 x 480 is opened at that size and scaled whole
// into the frame after the grabber, rows still the right way up; the camera's
// report says so, and zones see the motion where it is.
TEST_F(DirectShowFile, LargerPicturesAreScaledIntoTheFrameAndHitWhereTheyMove) {
  constexpr int kLargeFrames = 30;
  std::vector<Bytes> large;
  for (int i = 0; i < kLargeFrames; ++i) large.push_back(enlarged((*frames_)[static_cast<std::size_t>(i)]));
  const std::filesystem::path largePath = path("640");
  AviWriter().write(largePath, large, 32, kFrameWidth * 4, kFrameHeight * 4);
  large.clear();
  const std::string largeName = largePath.string();
  {
    CameraRegistry registry(makeDirectShowFileBackend(largeName));
    ASSERT_EQ(registry.scanCameras(kFrameWidth, kFrameHeight), 1);
    ASSERT_TRUE(registry.open({kFrameWidth, kFrameHeight, 15, largeName})) << registry.openReport();
    EXPECT_NE(registry.openReport().find("\nOpened at 640 x 480 RGB32, scaled to 160 x 120.\nAll Ok.\n"),
              std::string::npos)
        << registry.openReport();
    Camera* camera = registry.find(largeName);
    NewestFrame newest;
    camera->setFrameConsumer(&newest);
    ASSERT_TRUE(camera->start());
    Bytes frame;
    EXPECT_TRUE(waitUntil([&] { return newest.get(frame); }));
    const int index = frame.empty() ? -1 : indexOf(frame.data(), *frames_);
    EXPECT_GE(index, 0) << "a scaled frame is the 160 x 120 picture it was made from";
    EXPECT_LT(index, kLargeFrames);
    camera->stop();
    camera->setFrameConsumer(nullptr);
  }
  {
    VideoController controller;
    HitCounter hits;
    controller.eventSinks().add(hits);
    ASSERT_TRUE(controller.initialize(std::make_unique<CameraRegistry>(makeDirectShowFileBackend(largeName))));
    controller.cameras().startCapture();
    ASSERT_TRUE(waitForFrames(controller, 3));
    hits.band = controller.addZone("band", 0, kBlockTop - 6, kFrameWidth, kBlockSize + 12);
    controller.addZone("quiet", 0, kFrameHeight - kBlockTop - kBlockSize - 6, kFrameWidth, kBlockSize + 12);
    controller.setZoneThreshold("band", 1);
    controller.setZoneThreshold("quiet", 1);
    EXPECT_TRUE(waitUntil([&] { return hits.bandHits.load() >= 5; }));
    controller.cameras().stopCapture();
    controller.shutdown();
    EXPECT_EQ(hits.otherHits.load(), 0);
  }
  std::filesystem::remove(largePath);
}

// The graph's end of stream stands for any loss here (a removed device
// arrives the same way, as an event of the graph): the camera is marked
// absent, the graph is run again every few seconds, and pictures resume.
TEST_F(DirectShowFile, AStreamThatEndsIsMarkedAbsentAndRunAgainUntilPicturesReturn) {
  const std::filesystem::path shortPath = path("short");
  AviWriter().write(shortPath, std::vector<Bytes>(frames_->begin(), frames_->begin() + 15));
  const std::string shortName = shortPath.string();
  {
    CameraRegistry registry(makeDirectShowFileBackend(shortName));
    ASSERT_EQ(registry.scanCameras(kFrameWidth, kFrameHeight), 1);
    ASSERT_TRUE(registry.open({kFrameWidth, kFrameHeight, 15, shortName})) << registry.openReport();
    Camera* camera = registry.find(shortName);
    NewestFrame newest;
    camera->setFrameConsumer(&newest);
    ASSERT_TRUE(camera->start());
    Bytes frame;
    EXPECT_TRUE(waitUntil([&] { return newest.get(frame); }));
    EXPECT_FALSE(registry.backend().deviceAbsent(shortName));
    EXPECT_TRUE(waitUntil([&] { return registry.backend().deviceAbsent(shortName); }, 10s));
    newest.clear();
    EXPECT_TRUE(waitUntil([&] { return !registry.backend().deviceAbsent(shortName); }, 15s));
    // Played from its start again.
    EXPECT_TRUE(waitUntil([&] { return newest.get(frame) && indexOf(frame.data(), *frames_) >= 0; }));
    camera->stop();
    camera->setFrameConsumer(nullptr);
  }
  std::filesystem::remove(shortPath);
}

TEST_F(DirectShowFile, ZoneOverTheMovingBlockFires) {
  VideoController controller;
  HitCounter hits;
  controller.eventSinks().add(hits);
  ASSERT_TRUE(controller.initialize(std::make_unique<CameraRegistry>(makeDirectShowFileBackend(name()))));
  ASSERT_EQ(controller.cameras().cameraCount(), 1);
  controller.cameras().startCapture();
  ASSERT_TRUE(waitForFrames(controller, 3));
  // The quiet zone sits where the block would be if the rows came the
  // wrong way up.
  hits.band = controller.addZone("band", 0, kBlockTop - 6, kFrameWidth, kBlockSize + 12);
  const std::int32_t quiet = controller.addZone("quiet", 0, kFrameHeight - kBlockTop - kBlockSize - 6,
                                                kFrameWidth, kBlockSize + 12);
  controller.setZoneThreshold("band", 1);
  controller.setZoneThreshold("quiet", 1);
  ASSERT_GE(hits.band, 0);
  ASSERT_GE(quiet, 0);
  EXPECT_TRUE(waitUntil([&] { return hits.bandHits.load() >= 5; }));
  controller.cameras().stopCapture();
  controller.shutdown();
  EXPECT_EQ(hits.otherHits.load(), 0);
}

}  // namespace
}  // namespace tessary::testing
