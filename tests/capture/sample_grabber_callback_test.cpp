#include "capture/sample_grabber_callback.h"

#include <gtest/gtest.h>

#include "capture/capture_backend.h"

namespace tessary {
namespace {

class Camera {
 public:
  void onSample(const MediaSample* sample) { last = sample; }
  void onBuffer(const std::uint8_t* buffer, std::int32_t length) {
    lastBuffer = buffer;
    lastLength = length;
  }
  const MediaSample* last = nullptr;
  const std::uint8_t* lastBuffer = nullptr;
  std::int32_t lastLength = 0;
};

TEST(SampleGrabberCallbackTest, CountsReferencesAndEndsWithTheLast) {
  SampleGrabberCallbackRef held = SampleGrabberCallback::create();
  SampleGrabberCallback* object = held.get();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->referenceCount(), 1);

  EXPECT_EQ(object->AddRef(), 2);  // the platform takes one
  {
    SampleGrabberCallbackRef copy = held;
    EXPECT_EQ(object->referenceCount(), 3);
    SampleGrabberCallbackRef moved = std::move(copy);
    EXPECT_EQ(object->referenceCount(), 3);
  }
  EXPECT_EQ(object->Release(), 1) << "Release answers the count left";
  held.reset();  // the last one: the object is gone (the leak checker agrees)
  EXPECT_FALSE(held);

  SampleGrabberCallbackRef other = SampleGrabberCallback::create();
  SampleGrabberCallback* raw = other.get();
  raw->AddRef();
  other.reset();
  EXPECT_EQ(raw->Release(), 0);
}

TEST(SampleGrabberCallbackTest, AnswersOnlyItsOwnInterfaces) {
  SampleGrabberCallbackRef held = SampleGrabberCallback::create();
  void* out = nullptr;
  EXPECT_EQ(held->QueryInterface(InterfaceId::kSampleGrabberCallback, &out), kComOk);
  EXPECT_EQ(out, held.get());
  out = nullptr;
  EXPECT_EQ(held->QueryInterface(InterfaceId::kUnknown, &out), kComOk);
  EXPECT_EQ(out, held.get());
  EXPECT_EQ(held->referenceCount(), 1) << "QueryInterface adds no reference";

  int marker = 0;
  out = &marker;
  EXPECT_EQ(held->QueryInterface(static_cast<InterfaceId>(42), &out), kComNoInterface);
  EXPECT_EQ(out, &marker);
  EXPECT_EQ(held->QueryInterface(InterfaceId::kUnknown, nullptr), kComPointer);
}

TEST(SampleGrabberCallbackTest, RoutesSamplesAndBuffers) {
  Camera camera;
  SampleGrabberCallbackRef held = SampleGrabberCallback::create();
  MediaSample sample;
  EXPECT_EQ(held->SampleCB(0.0, &sample), kComOk) << "an unbound route is simply not called";

  held->setSampleRoute(SampleRoute::bind(&camera, &Camera::onSample));
  EXPECT_EQ(held->SampleCB(1.5, &sample), kComOk);
  EXPECT_EQ(camera.last, &sample);

  const std::uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(held->BufferCB(0.0, bytes, 4), kComOk);
  EXPECT_EQ(camera.lastBuffer, nullptr);
  held->setBufferRoute(BufferRoute::bind(&camera, &Camera::onBuffer));
  EXPECT_EQ(held->BufferCB(0.0, bytes, 4), kComOk);
  EXPECT_EQ(camera.lastBuffer, bytes);
  EXPECT_EQ(camera.lastLength, 4);
}

}  // namespace
}  // namespace tessary
