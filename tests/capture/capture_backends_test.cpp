#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <unistd.h>

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

// The demo camera's motion band is checked end to end by the controller's tests.
TEST(DemoCameraTest, PictureDependsOnTheFrameNumberAlone) {
  Frame a{}, b{};
  renderDemoFrame(5, a);
  renderDemoFrame(5 + kDemoPeriod, b);
  EXPECT_EQ(a, b);
  renderDemoFrame(6, b);
  EXPECT_NE(a, b);
}

// Picture i as the file holds it, top row first: the top row carries 200 + i,
// the rest 10 x (i + 1).
void writePicture(std::ostream& out, int i) {
  Frame frame{};
  frame.fill(static_cast<std::uint8_t>(10 * (i + 1)));
  std::memset(frame.data(), 200 + i, kFrameStride);
  out.write(reinterpret_cast<const char*>(frame.data()), kFrameBytes);
}

class RawCameraTest : public ::testing::Test, public SampleSink {
 protected:
  RawCameraTest() { fs::create_directories(folder_); }
  ~RawCameraTest() override { fs::remove_all(folder_); }

  std::unique_ptr<CaptureSession> start(const fs::path& path, std::int32_t fps) {
    backend_ = makeRawCaptureBackend(path.string());
    std::unique_ptr<CaptureSession> session = backend_->createSession();
    session->setSampleSink(this);
    if (session->bindDevice(rawCameraName(path.string())) != BindResult::kBound ||
        !session->setFormat(SyntheticCaptureSession::capability(), fps) ||
        session->connect() != ConnectResult::kConnected || !session->start()) {
      return nullptr;
    }
    return session;
  }
  // Notes which picture each sample was, upright; -1 for anything else.
  void onSample(const MediaSample& sample) override {
    const int i = sample.size == kFrameBytes ? sample.data[0] - 200 : -1;
    const std::uint8_t* bottom = sample.data + (kFrameHeight - 1) * kFrameStride;
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back(i >= 0 && bottom[0] == 10 * (i + 1) ? i : -1);
    arrived_.notify_all();
  }
  // The pictures seen once `count` have arrived, or after 5 s.
  std::vector<int> waitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, 5s, [&] { return seen_.size() >= count; });
    return seen_;
  }

  fs::path folder_ = fs::temp_directory_path() /
                     ("tessary-raw-" + std::to_string(::getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::unique_ptr<CaptureBackend> backend_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<int> seen_;
};

TEST_F(RawCameraTest, FilePlaysUprightAndLoops) {
  fs::path path = folder_ / "three.raw";
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 3; ++i) writePicture(out, i);
    out.write("tail", 4);  // a piece of a frame is ignored
  }
  auto session = start(path, 25);
  ASSERT_NE(session, nullptr);
  ASSERT_GE(waitFor(7).size(), 7u);
  session->stop();
  const std::vector<int> frames = waitFor(0);
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

#ifndef _WIN32  // named pipes of this kind are POSIX only
TEST_F(RawCameraTest, PipeDeliversFramesAsTheyArriveAndEndsWhileAWriterIsSilent) {
  fs::path path = folder_ / "pipe";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  auto session = start(path, 15);
  ASSERT_NE(session, nullptr);
  {
    std::ofstream out(path, std::ios::binary);
    writePicture(out, 0);
    writePicture(out, 1);
  }
  ASSERT_EQ(waitFor(2).size(), 2u);
  // A later writer carries on where the first one stopped, then falls silent
  // in the middle of a frame.
  std::ofstream writer(path, std::ios::binary);
  writePicture(writer, 2);
  writer.write("half", 4);
  writer.flush();
  ASSERT_EQ(waitFor(3).size(), 3u);
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(waitFor(0), (std::vector<int>{0, 1, 2})) << "a pipe never loops";
  session.reset();  // must not wait for the writer
}
#endif

// A platform with one camera of the given width.
template <int kWidth>
std::unique_ptr<CaptureBackend> fakeOffering() {
  auto fake = std::make_unique<fakes::FakeCaptureBackend>();
  fake->devices.push_back({"Cam", {fakes::capability(PixelFormat::kRgb24, kWidth, 120)}});
  return fake;
}

TEST(CaptureBackendChoiceTest, PicksTheNamedBackendAndAutoSaysWhatItChose) {
  using Maker = PlatformBackendMaker;
  const Maker none = [] { return std::unique_ptr<CaptureBackend>(); };
  const Maker small = &fakeOffering<160>, large = &fakeOffering<640>;
  const std::string rawFile = (std::filesystem::temp_directory_path() / "tessary_choice_test.raw").string();
  std::ofstream(rawFile) << "frames";
  const std::string raw = "raw:" + rawFile;
  const struct {
    std::string source;
    Maker maker;
    const char* kind;    // null: refused with an error
    const char* choice;  // what "auto" says
  } cases[] = {
      {"demo", none, "demo", ""},
      {raw, none, "raw", ""},
      {"fake", large, "fake", ""},
      {"auto", small, "fake", "camera auto: using the fake camera 'Cam', which offers 160 x 120"},
      {"auto", large, "demo",
       "camera auto: no fake camera offers 160 x 120; using the demo camera, whose motion is made up"},
      {"auto", none, "demo",
       "camera auto: fake capture is not available; using the demo camera, whose motion is made up"},
      {"raw:", none, nullptr, ""},
      {"fake", none, nullptr, ""},
      {"Demo", none, nullptr, ""},
      {"raw:/nonexistent/frames.raw", none, nullptr, ""}};
  for (const auto& c : cases) {
    std::string error, choice;
    std::unique_ptr<CaptureBackend> backend = chooseCaptureBackend(c.source, "fake", c.maker, error, &choice);
    EXPECT_STREQ(backend ? backend->kind() : nullptr, c.kind) << c.source;
    EXPECT_EQ(error.empty(), c.kind != nullptr) << c.source;
    EXPECT_EQ(choice, c.choice) << c.source;
  }
  std::string error;
  EXPECT_EQ(chooseCaptureBackend("raw:/nonexistent/frames.raw", "fake", none, error), nullptr);
  EXPECT_EQ(error, "cannot open the raw frames file /nonexistent/frames.raw: No such file or directory");
  std::filesystem::remove(rawFile);
}

}  // namespace
}  // namespace tessary
