// The DirectShow layer on its own: the grabber's callback object, and the
// report a camera writes when the platform lacks a part of the graph or has
// no camera.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "capture/camera.h"
#include "capture/camera_registry.h"
#include "common/frame.h"
#include "platform/windows/directshow_capture_backend.h"
#include "platform/windows/directshow_graph.h"

namespace tessary::directshow {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Samples as the sample grabber hands them over, from the system's memory
// allocator: buffers of `bufferBytes`, of which a sample's length hold data,
// each stamped with one frame's start and end.
class Samples {
 public:
  explicit Samples(long bufferBytes) {
    EXPECT_EQ(createInProcess(CLSID_MemoryAllocator, IID_IMemAllocator, allocator_.putVoid()), S_OK);
    ALLOCATOR_PROPERTIES wanted{3, bufferBytes, 1, 0}, actual{};
    EXPECT_EQ(allocator_->SetProperties(&wanted, &actual), S_OK);
    EXPECT_EQ(allocator_->Commit(), S_OK);
  }
  ~Samples() { allocator_->Decommit(); }

  ComPtr<IMediaSample> make(const Bytes& bytes, std::size_t length) {
    ComPtr<IMediaSample> sample;
    BYTE* data = nullptr;
    REFERENCE_TIME start = 666'666, end = 1'333'332;
    EXPECT_EQ(allocator_->GetBuffer(sample.put(), nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(sample->GetPointer(&data), S_OK);
    std::memcpy(data, bytes.data(), bytes.size());
    sample->SetActualDataLength(static_cast<long>(length));
    sample->SetTime(&start, &end);
    return sample;
  }

 private:
  ApartmentScope apartment_;
  ComPtr<IMemAllocator> allocator_;
};

// Keeps what reaches the camera's side.
struct Received final : SampleSink {
  void onSample(const MediaSample& sample) override {
    frames.emplace_back(sample.data, sample.data + sample.size);
    times.push_back(sample.time);
  }
  std::vector<Bytes> frames;
  std::vector<std::int64_t> times;
};

// Rows numbered from the first in memory: every byte of row r is r.
Bytes numberedRows(int rows, int rowBytes, std::size_t extra = 0) {
  Bytes bytes(static_cast<std::size_t>(rows * rowBytes) + extra, 0xEE);
  for (int row = 0; row < rows; ++row) std::memset(&bytes[static_cast<std::size_t>(row * rowBytes)], row, rowBytes);
  return bytes;
}

TEST(DirectShowGrabberCallbackTest, HandsOnWholeUprightFramesOnlyWhileOpen) {
  Received received;
  ComPtr<GrabberCallback> callback = GrabberCallback::create();
  callback->setTarget(&received);
  ASSERT_TRUE(callback->setFrameLayout(kFrameWidth, kFrameHeight));
  EXPECT_EQ(callback->frameBytes(), kFrameBytes);

  // The allocator's buffer is larger than the picture: exactly one frame is
  // handed on. A short sample and samples while closed are dropped.
  Samples samples(static_cast<long>(kFrameBytes) + 4096);
  ComPtr<IMediaSample> padded = samples.make(numberedRows(kFrameHeight, kFrameStride, 4096), kFrameBytes);
  ComPtr<IMediaSample> shortSample = samples.make(numberedRows(kFrameHeight, kFrameStride), kFrameBytes - 1);
  EXPECT_EQ(callback->SampleCB(0.0, padded.get()), S_OK);
  callback->open();
  EXPECT_EQ(callback->SampleCB(0.0, padded.get()), S_OK);
  EXPECT_EQ(callback->SampleCB(0.0, shortSample.get()), S_OK);
  EXPECT_EQ(callback->SampleCB(0.0, nullptr), S_OK);
  callback->close();
  EXPECT_EQ(callback->SampleCB(0.0, padded.get()), S_OK);
  // A bottom-up picture (the usual kind) arrives upright: its last row first.
  ASSERT_EQ(received.frames.size(), 1u);
  EXPECT_EQ(received.frames[0][0], kFrameHeight - 1);
  EXPECT_EQ(received.frames[0][kFrameBytes - 1], 0);
  EXPECT_EQ(received.times[0], 666'666);

  // A top-down picture arrives as it is.
  ASSERT_TRUE(callback->setFrameLayout(2, -3));
  EXPECT_FALSE(callback->setFrameLayout(0, 120));
  callback->open();
  callback->SampleCB(0.0, samples.make(numberedRows(3, 8), 24).get());
  ASSERT_EQ(received.frames.size(), 2u);
  EXPECT_EQ(received.frames[1], numberedRows(3, 8));
}

TEST(DirectShowGrabberCallbackTest, CountsEveryReferenceItHandsOut) {
  ComPtr<GrabberCallback> callback = GrabberCallback::create();

  // A reference taken through QueryInterface is the caller's own: dropping
  // it leaves the object alive for its other holders.
  void* asUnknown = nullptr;
  ASSERT_EQ(callback->QueryInterface(IID_IUnknown, &asUnknown), S_OK);
  EXPECT_EQ(asUnknown, static_cast<ISampleGrabberCB*>(callback.get()));
  void* asCallback = nullptr;
  ASSERT_EQ(callback->QueryInterface(IID_ISampleGrabberCB, &asCallback), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(asUnknown)->Release(), 2u);
  EXPECT_EQ(static_cast<ISampleGrabberCB*>(asCallback)->Release(), 1u);
  void* other = &asUnknown;
  EXPECT_EQ(callback->QueryInterface(IID_IMediaSample, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
}

// Refuses to make one class, as on a system without it.
ComFactory refusing(const CLSID& missing) {
  return [missing](REFCLSID classId, REFIID iid, void** out) {
    if (classId == missing) {
      *out = nullptr;
      return REGDB_E_CLASSNOTREG;
    }
    return createInProcess(classId, iid, out);
  };
}

std::string setUpWith(ComFactory factory) {
  auto backend = makeBackend(makeDeviceSourceKind(), std::move(factory));
  Camera camera(*backend);
  EXPECT_FALSE(camera.setupGraph());
  return camera.report();
}

TEST(DirectShowGraphTest, ReportsEachMissingPartOfTheGraph) {
  const std::string notRegistered = describeResult(REGDB_E_CLASSNOTREG);
  EXPECT_EQ(notRegistered, "Class not registered");

  EXPECT_EQ(setUpWith(refusing(CLSID_SampleGrabber)),
            "Setting up ...\nNo[QormSampleGrabber]\nNo[QormGrabberFilter]\n");
  EXPECT_EQ(setUpWith(refusing(CLSID_FilterGraph)),
            "Setting up ...\nNo[GraphBuilder]\nNo[video interfaces]\n" + notRegistered + "\n");
  EXPECT_EQ(setUpWith(refusing(CLSID_CaptureGraphBuilder2)),
            "Setting up ...\nNo[CaptureGraphBuilder2]\nNo[video interfaces]\n" + notRegistered + "\n");
  EXPECT_EQ(setUpWith(refusing(CLSID_NullRenderer)),
            "Setting up ...\nNo[NullRenderer]\n" + notRegistered + "\n");

  // Without the device enumerator the graph works but no device is found.
  auto backend = makeBackend(makeDeviceSourceKind(), refusing(CLSID_SystemDeviceEnum));
  Camera camera(*backend);
  EXPECT_TRUE(camera.setupGraph());
  camera.enumerateDevices();
  EXPECT_EQ(camera.report(), "Setting up ...\nNo[SystemDeviceEnum]\nNo Drivers!\n");
}

TEST(DirectShowGraphTest, NoCameraMeansNoDevicesPresent) {
  CameraRegistry registry(makeDirectShowCaptureBackend());
  EXPECT_STREQ(registry.backend().kind(), "dshow");
  EXPECT_EQ(registry.scanCameras(kFrameWidth, kFrameHeight), 0);
  bool ok = true;
  EXPECT_STREQ(registry.cameraName(0, ok), "No Devices Present");
  EXPECT_FALSE(ok);
  EXPECT_FALSE(registry.open({kFrameWidth, kFrameHeight, 15, "Webcam"}));
  EXPECT_EQ(registry.openReport(), "No Supportable Cameras Found!\n");
  EXPECT_EQ(registry.find("Webcam"), nullptr);

  Camera camera(registry.backend());
  EXPECT_TRUE(camera.setupGraph());
  camera.enumerateDevices();
  EXPECT_EQ(camera.report(), "Setting up ...\nNo[ClassEnumerator]\nNo Drivers!\n");
  EXPECT_STREQ(camera.getDeviceName(0), "No Sources!");
  EXPECT_FALSE(camera.start());
}

}  // namespace
}  // namespace tessary::directshow
