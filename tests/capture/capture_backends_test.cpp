#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <condition_variable>
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

const std::uint8_t* pictureRow(const std::uint8_t* bottomUpFrame, int row) {
  return bottomUpFrame + static_cast<std::size_t>(kFrameHeight - 1 - row) * kFrameStride;
}

// --- Demo camera -----------------------------------------------------------

TEST(DemoCameraTest, PictureDependsOnTheFrameNumberAlone) {
  Frame a{}, b{};
  renderDemoFrame(5, a);
  renderDemoFrame(5 + kDemoPeriod, b);
  EXPECT_EQ(a, b);
  renderDemoFrame(6, b);
  EXPECT_NE(a, b);
}

TEST(DemoCameraTest, MotionStaysInsideItsBandAndCrossesItEveryFrame) {
  Frame first{}, before{}, after{};
  renderDemoFrame(0, first);
  std::array<bool, kFrameWidth> columnChanged{};
  for (std::uint64_t n = 0; n < kDemoPeriod; ++n) {
    renderDemoFrame(n, before);
    renderDemoFrame(n + 1, after);
    int changed = 0;  // as the most sensitive level sees it: a channel off by more than 43
    for (int row = 0; row < kFrameHeight; ++row) {
      const std::uint8_t* a = pictureRow(before.data(), row);
      const std::uint8_t* b = pictureRow(after.data(), row);
      const bool inBand = row >= kDemoMotionTop && row <= kDemoMotionBottom;
      if (!inBand) {
        ASSERT_EQ(std::memcmp(pictureRow(first.data(), row), b, kFrameStride), 0)
            << "row " << row << " frame " << n + 1;
        continue;
      }
      for (int x = 0; x < kFrameWidth; ++x) {
        bool differs = false;
        for (int c = 0; c < 3; ++c) differs |= std::abs(a[x * 4 + c] - b[x * 4 + c]) > 43;
        changed += differs;
        columnChanged[x] |= differs;
      }
    }
    EXPECT_EQ(changed, 2 * kDemoObjectSize * kDemoObjectSize) << "frame " << n;
  }
  for (int x = 0; x < kFrameWidth; ++x) EXPECT_TRUE(columnChanged[x]) << "column " << x;
}

// --- Raw file camera -------------------------------------------------------

// Picture i as the file holds it: top row first; the top row carries 200 + i,
// the rest 10 x (i + 1).
void writePicture(std::ostream& out, int i) {
  Frame frame{};
  frame.fill(static_cast<std::uint8_t>(10 * (i + 1)));
  std::memset(frame.data(), 200 + i, kFrameStride);
  out.write(reinterpret_cast<const char*>(frame.data()), kFrameBytes);
}

class RawCameraTest : public ::testing::Test {
 protected:
  RawCameraTest() {
    folder_ = fs::temp_directory_path() /
              ("tessary-raw-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
  }
  ~RawCameraTest() override { fs::remove_all(folder_); }

  // A started session on the raw camera at `path`, handing samples to onSample.
  std::unique_ptr<CaptureSession> startSession(const fs::path& path, std::int32_t fps) {
    backend_ = makeRawCaptureBackend(path.string());
    std::unique_ptr<CaptureSession> session = backend_->createSession();
    SampleGrabberCallbackRef callback = SampleGrabberCallback::create();
    callback->setSampleRoute(SampleRoute::bind(this, &RawCameraTest::onSample));
    session->setCallback(callback);
    if (session->bindDevice(rawCameraName(path.string())) != BindResult::kBound ||
        !session->setFormat(SyntheticCaptureSession::capability(), fps) ||
        session->connect() != ConnectResult::kConnected || !session->start()) {
      return nullptr;
    }
    return session;
  }

  // Notes which picture each sample was (read bottom-up), -1 for anything else.
  void onSample(const MediaSample* sample) {
    const int i = sample->size == kFrameBytes ? pictureRow(sample->data, 0)[0] - 200 : -1;
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back(i >= 0 && sample->data[0] == 10 * (i + 1) ? i : -1);
    arrived_.notify_all();
  }
  bool waitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, 5s, [&] { return seen_.size() >= count; });
  }
  std::vector<int> seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

  fs::path folder_;
  std::unique_ptr<CaptureBackend> backend_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<int> seen_;
};

TEST_F(RawCameraTest, FilePlaysBottomUpAndLoops) {
  fs::path path = folder_ / "three.raw";
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 3; ++i) writePicture(out, i);
    out.write("tail", 4);  // a piece of a frame is ignored
  }
  auto session = startSession(path, 25);
  ASSERT_NE(session, nullptr);
  ASSERT_TRUE(waitFor(7));
  session->stop();
  const std::vector<int> frames = seen();
  for (std::size_t n = 0; n < frames.size(); ++n) EXPECT_EQ(frames[n], int(n % 3)) << "frame " << n;
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

TEST_F(RawCameraTest, PipeDeliversFramesAsTheyArriveAndEndsWhileAWriterIsSilent) {
  fs::path path = folder_ / "pipe";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  auto session = startSession(path, 15);
  ASSERT_NE(session, nullptr);
  {
    std::ofstream out(path, std::ios::binary);
    writePicture(out, 0);
    writePicture(out, 1);
  }
  ASSERT_TRUE(waitFor(2));
  // A later writer carries on where the first one stopped, then falls silent
  // in the middle of a frame.
  std::ofstream writer(path, std::ios::binary);
  writePicture(writer, 2);
  writer.write("half", 4);
  writer.flush();
  ASSERT_TRUE(waitFor(3));
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(seen(), (std::vector<int>{0, 1, 2})) << "a pipe never loops";
  session.reset();  // must not wait for the writer
}

// --- Choosing a backend ----------------------------------------------------

std::unique_ptr<CaptureBackend> makeFakeWith(std::int32_t width) {
  auto fake = std::make_unique<fakes::FakeCaptureBackend>();
  fake->devices.push_back({"Cam", {fakes::capability(PixelFormat::kRgb24, width, 120)}});
  return fake;
}
std::unique_ptr<CaptureBackend> makeFakeWithCaptureSize() { return makeFakeWith(160); }
std::unique_ptr<CaptureBackend> makeFakeWithoutCaptureSize() { return makeFakeWith(640); }
std::unique_ptr<CaptureBackend> makeNothing() { return nullptr; }

TEST(CaptureBackendChoiceTest, PicksTheNamedBackendAndAutoFallsBackToTheDemo) {
  const struct {
    const char* source;
    PlatformBackendMaker maker;
    const char* kind;  // null: refused with an error
  } cases[] = {{"demo", &makeNothing, "demo"}, {"raw:/tmp/x.raw", &makeNothing, "raw"},
               {"fake", &makeFakeWithoutCaptureSize, "fake"},
               {"auto", &makeFakeWithCaptureSize, "fake"},
               {"auto", &makeFakeWithoutCaptureSize, "demo"}, {"auto", &makeNothing, "demo"},
               {"raw:", &makeNothing, nullptr}, {"fake", &makeNothing, nullptr},
               {"Demo", &makeNothing, nullptr}};
  for (const auto& c : cases) {
    std::string error;
    std::unique_ptr<CaptureBackend> backend = chooseCaptureBackend(c.source, "fake", c.maker, error);
    EXPECT_STREQ(backend ? backend->kind() : nullptr, c.kind) << c.source;
    EXPECT_EQ(error.empty(), c.kind != nullptr) << c.source;
  }
}

}  // namespace
}  // namespace tessary
