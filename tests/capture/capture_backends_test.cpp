#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/camera_registry.h"
#include "capture/capture_backend_choice.h"
#include "capture/capture_backend_synthetic.h"
#include "capture/demo_capture_backend.h"
#include "capture/fake_capture_backend.h"
#include "capture/raw_capture_backend.h"

namespace tessary {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using Frame = std::array<std::uint8_t, kFrameBytes>;

const std::uint8_t* pictureRow(const std::uint8_t* bottomUpFrame, int pictureRowIndex) {
  return bottomUpFrame + static_cast<std::size_t>(kFrameHeight - 1 - pictureRowIndex) * kFrameStride;
}

// Collects what a session's streaming thread hands over.
class SampleRecorder {
 public:
  void onSample(const MediaSample* sample) {
    std::lock_guard<std::mutex> lock(mutex_);
    Frame& frame = frames_.emplace_back();
    std::memcpy(frame.data(), sample->data, std::min(sample->size, kFrameBytes));
    sizes_.push_back(sample->size);
    arrived_.notify_all();
  }
  bool waitFor(std::size_t count, std::chrono::milliseconds limit = 5s) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, limit, [&] { return frames_.size() >= count; });
  }
  std::vector<Frame> frames() {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
  }
  std::vector<std::size_t> sizes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sizes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Frame> frames_;
  std::vector<std::size_t> sizes_;
};

std::unique_ptr<CaptureSession> streamingSession(CaptureBackend& backend, SampleRecorder& recorder,
                                                 std::int32_t fps) {
  std::vector<std::string> names;
  backend.listDevices(names);
  std::unique_ptr<CaptureSession> session = backend.createSession();
  SampleGrabberCallbackRef callback = SampleGrabberCallback::create();
  callback->setSampleRoute(SampleRoute::bind(&recorder, &SampleRecorder::onSample));
  session->setCallback(callback);
  if (names.size() != 1 || session->bindDevice(names[0]) != BindResult::kBound ||
      !session->setFormat(SyntheticCaptureSession::capability(), fps) ||
      session->connect() != ConnectResult::kConnected) {
    return nullptr;
  }
  return session;
}

// --- Demo camera -----------------------------------------------------------

TEST(DemoCameraTest, PictureDependsOnTheFrameNumberAlone) {
  Frame a{}, b{};
  renderDemoFrame(5, a);
  renderDemoFrame(5, b);
  EXPECT_EQ(a, b);
  renderDemoFrame(5 + kDemoPeriod, b);
  EXPECT_EQ(a, b);
  renderDemoFrame(6, b);
  EXPECT_NE(a, b);
}

TEST(DemoCameraTest, MotionStaysInsideItsBand) {
  Frame first{}, frame{};
  renderDemoFrame(0, first);
  std::array<bool, kFrameWidth> columnChanged{};
  for (std::uint64_t n = 1; n < kDemoPeriod; ++n) {
    renderDemoFrame(n, frame);
    for (int row = 0; row < kFrameHeight; ++row) {
      bool same = std::memcmp(pictureRow(first.data(), row), pictureRow(frame.data(), row),
                              kFrameStride) == 0;
      bool inBand = row >= kDemoMotionTop && row <= kDemoMotionBottom;
      if (!inBand) {
        ASSERT_TRUE(same) << "row " << row << " frame " << n;
      }
      if (!inBand || same) continue;
      for (int x = 0; x < kFrameWidth; ++x) {
        columnChanged[x] |= std::memcmp(pictureRow(first.data(), row) + x * 4,
                                        pictureRow(frame.data(), row) + x * 4, 4) != 0;
      }
    }
  }
  // Every column of the band sees the object at some time.
  for (int x = 0; x < kFrameWidth; ++x) EXPECT_TRUE(columnChanged[x]) << "column " << x;
}

TEST(DemoCameraTest, EveryFrameChangesMuchOfTheBand) {
  // Changed as the most sensitive detection level sees it: any channel by
  // more than 43.
  Frame before{}, after{};
  for (std::uint64_t n = 0; n < kDemoPeriod; ++n) {
    renderDemoFrame(n, before);
    renderDemoFrame(n + 1, after);
    int changed = 0;
    for (int row = kDemoMotionTop; row <= kDemoMotionBottom; ++row) {
      const std::uint8_t* a = pictureRow(before.data(), row);
      const std::uint8_t* b = pictureRow(after.data(), row);
      for (int x = 0; x < kFrameWidth; ++x) {
        bool differs = false;
        for (int c = 0; c < 3; ++c) differs |= std::abs(a[x * 4 + c] - b[x * 4 + c]) > 43;
        changed += differs;
      }
    }
    EXPECT_EQ(changed, 2 * kDemoObjectSize * kDemoObjectSize) << "frame " << n;
  }
}

TEST(DemoCameraTest, StreamsThroughARegistryLikeACamera) {
  CameraRegistry registry(makeDemoCaptureBackend());
  ASSERT_EQ(registry.scanCameras(160, 120), 1);
  bool ok = false;
  const char* name = registry.cameraName(0, ok);
  EXPECT_STREQ(name, kDemoCameraName);
  ASSERT_TRUE(registry.open({160, 120, 25, name}));
  Camera* camera = registry.find(name);
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(camera->getOrientation(), 2);
  ASSERT_TRUE(camera->start());
  const std::uint8_t* frame = nullptr;
  for (int tries = 0; tries < 500 && !camera->getFrame(frame); ++tries) {
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_NE(frame, nullptr);
  bool known = false;
  Frame expected{};
  for (std::uint64_t n = 0; n < kDemoPeriod && !known; ++n) {
    renderDemoFrame(n, expected);
    known = std::memcmp(expected.data(), frame, kFrameBytes) == 0;
  }
  EXPECT_TRUE(known);
  camera->stop();
}

// --- Raw file camera -------------------------------------------------------

class RawCameraTest : public ::testing::Test {
 protected:
  RawCameraTest() {
    folder_ = fs::temp_directory_path() /
              ("tessary-raw-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
  }
  ~RawCameraTest() override { fs::remove_all(folder_); }

  // Picture i as the file holds it: top row first; the top row carries
  // 200 + i, the rest 10 x (i + 1).
  static Frame picture(int i) {
    Frame frame{};
    frame.fill(static_cast<std::uint8_t>(10 * (i + 1)));
    std::memset(frame.data(), 200 + i, kFrameStride);
    return frame;
  }
  static void write(std::ostream& out, int i) {
    Frame frame = picture(i);
    out.write(reinterpret_cast<const char*>(frame.data()), kFrameBytes);
  }
  // Which picture a delivered (bottom-up) frame is, or -1.
  static int pictureIndex(const Frame& frame) {
    int i = pictureRow(frame.data(), 0)[0] - 200;
    return frame[0] == 10 * (i + 1) ? i : -1;
  }

  fs::path folder_;
};

TEST_F(RawCameraTest, FilePlaysBottomUpAndLoops) {
  fs::path path = folder_ / "three.raw";
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 3; ++i) write(out, i);
    out.write("tail", 4);  // a piece of a frame is ignored
  }
  auto backend = makeRawCaptureBackend(path.string());
  SampleRecorder recorder;
  auto session = streamingSession(*backend, recorder, 25);
  ASSERT_NE(session, nullptr);
  ASSERT_TRUE(session->start());
  ASSERT_TRUE(recorder.waitFor(7));
  session->stop();
  std::vector<Frame> frames = recorder.frames();
  for (std::size_t n = 0; n < frames.size(); ++n) {
    EXPECT_EQ(pictureIndex(frames[n]), static_cast<int>(n % 3)) << "frame " << n;
  }
  for (std::size_t size : recorder.sizes()) EXPECT_EQ(size, kFrameBytes);
}

TEST_F(RawCameraTest, MissingOrShortFilesFailCleanly) {
  CameraRegistry missing(makeRawCaptureBackend((folder_ / "none.raw").string()));
  EXPECT_EQ(missing.scanCameras(160, 120), 0);

  fs::path path = folder_ / "short.raw";
  std::ofstream(path, std::ios::binary).write("abc", 3);
  CameraRegistry registry(makeRawCaptureBackend(path.string()));
  ASSERT_EQ(registry.scanCameras(160, 120), 1);
  std::string name = rawCameraName(path.string());
  ASSERT_TRUE(registry.open({160, 120, 15, name}));
  EXPECT_FALSE(registry.find(name)->start());
}

TEST_F(RawCameraTest, PipeDeliversFramesAsTheyArriveWithoutLooping) {
  fs::path path = folder_ / "pipe";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  auto backend = makeRawCaptureBackend(path.string());
  SampleRecorder recorder;
  auto session = streamingSession(*backend, recorder, 15);
  ASSERT_NE(session, nullptr);
  ASSERT_TRUE(session->start());
  {
    std::ofstream out(path, std::ios::binary);
    write(out, 0);
    write(out, 1);
  }
  ASSERT_TRUE(recorder.waitFor(2));
  // A later writer carries on where the first one stopped.
  {
    std::ofstream out(path, std::ios::binary);
    write(out, 2);
  }
  ASSERT_TRUE(recorder.waitFor(3));
  std::this_thread::sleep_for(150ms);
  std::vector<Frame> frames = recorder.frames();
  ASSERT_EQ(frames.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(pictureIndex(frames[static_cast<std::size_t>(i)]), i);
  session->stop();
  session.reset();  // must not wait for a writer
}

TEST_F(RawCameraTest, PipeSessionEndsWhileAWriterIsSilent) {
  fs::path path = folder_ / "silent";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  auto backend = makeRawCaptureBackend(path.string());
  SampleRecorder recorder;
  auto session = streamingSession(*backend, recorder, 15);
  ASSERT_NE(session, nullptr);
  ASSERT_TRUE(session->start());
  std::ofstream writer(path, std::ios::binary);
  write(writer, 0);
  writer.write("half", 4);  // a frame begun and never finished
  writer.flush();
  ASSERT_TRUE(recorder.waitFor(1));
  session.reset();
  EXPECT_EQ(recorder.frames().size(), 1u);
}

// --- Choosing a backend ----------------------------------------------------

std::unique_ptr<CaptureBackend> makeFakeWith(std::int32_t width, std::int32_t height) {
  auto fake = std::make_unique<fakes::FakeCaptureBackend>();
  fake->devices.push_back({"Cam", {fakes::capability(PixelFormat::kRgb24, width, height)}});
  return fake;
}
std::unique_ptr<CaptureBackend> makeFakeWithCaptureSize() { return makeFakeWith(160, 120); }
std::unique_ptr<CaptureBackend> makeFakeWithoutCaptureSize() { return makeFakeWith(640, 480); }
std::unique_ptr<CaptureBackend> makeNothing() { return nullptr; }

TEST(CaptureBackendChoiceTest, PicksTheNamedBackend) {
  std::string error;
  EXPECT_STREQ(chooseCaptureBackend("demo", "fake", &makeNothing, error)->kind(), "demo");
  EXPECT_STREQ(chooseCaptureBackend("raw:/tmp/x.raw", "fake", &makeNothing, error)->kind(), "raw");
  EXPECT_STREQ(chooseCaptureBackend("fake", "fake", &makeFakeWithoutCaptureSize, error)->kind(),
               "fake");
  EXPECT_TRUE(error.empty());

  EXPECT_EQ(chooseCaptureBackend("raw:", "fake", &makeNothing, error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(chooseCaptureBackend("fake", "fake", &makeNothing, error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(chooseCaptureBackend("Demo", "fake", &makeNothing, error), nullptr);
  EXPECT_NE(error.find("Demo"), std::string::npos);
}

TEST(CaptureBackendChoiceTest, AutoFallsBackToTheDemoCamera) {
  std::string error;
  EXPECT_STREQ(chooseCaptureBackend("auto", "fake", &makeFakeWithCaptureSize, error)->kind(),
               "fake");
  EXPECT_STREQ(chooseCaptureBackend("auto", "fake", &makeFakeWithoutCaptureSize, error)->kind(),
               "demo");
  EXPECT_STREQ(chooseCaptureBackend("auto", "fake", &makeNothing, error)->kind(), "demo");
}

}  // namespace
}  // namespace tessary
