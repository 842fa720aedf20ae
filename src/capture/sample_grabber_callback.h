// The object through which the capture platform hands each sample to a
// camera, with the platform's reference-counting rules.
//
// The platform keeps references of its own to the object and drops them on
// its own schedule (its streaming thread may still hold one after the camera
// let go), so no single owner can decide when the object may go: the last
// Release, from whichever side, destroys it. That is why it deletes itself.
// Code of ours holds it through SampleGrabberCallbackRef and never calls
// AddRef or Release by hand.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/member_callback.h"

namespace tessary {

struct MediaSample;
class SampleGrabberCallbackRef;

// Results in the platform's convention: 0 for success, negative failures.
using ComResult = std::int32_t;
inline constexpr ComResult kComOk = 0;
inline constexpr ComResult kComNoInterface = static_cast<ComResult>(0x80004002u);
inline constexpr ComResult kComPointer = static_cast<ComResult>(0x80004003u);

// The interfaces a caller may ask the object for; any other value is refused.
enum class InterfaceId : std::uint32_t {
  kUnknown = 0,
  kSampleGrabberCallback = 1,
};

// Where samples go: the camera binds this to its sample handler.
using SampleRoute = MemberCallback<const MediaSample*>;
// Where raw buffers go (pointer and length); nothing binds it at present.
using BufferRoute = MemberCallback<const std::uint8_t*, std::int32_t>;

class SampleGrabberCallback final {
 public:
  // A new object held by the returned reference (count 1).
  static SampleGrabberCallbackRef create();

  SampleGrabberCallback(const SampleGrabberCallback&) = delete;
  SampleGrabberCallback& operator=(const SampleGrabberCallback&) = delete;

  // Bind before the object is handed to the platform: the streaming thread
  // reads the routes without a lock.
  void setSampleRoute(SampleRoute route) { sampleRoute_ = route; }
  void setBufferRoute(BufferRoute route) { bufferRoute_ = route; }

  // For either known interface writes the object itself to `out`, leaving
  // the count alone (the caller that keeps it adds its own reference), and
  // answers kComOk; for any other, kComNoInterface with `out` untouched.
  virtual ComResult QueryInterface(InterfaceId iid, void** out);
  // Both answer the count after the change; Release destroys the object when
  // it reaches 0.
  virtual std::int32_t AddRef();
  virtual std::int32_t Release();
  // Called on the platform's streaming thread for every sample.
  virtual ComResult SampleCB(double sampleTime, const MediaSample* sample);
  virtual ComResult BufferCB(double sampleTime, const std::uint8_t* buffer, std::int32_t length);

  std::int32_t referenceCount() const { return references_.load(std::memory_order_acquire); }

 private:
  SampleGrabberCallback() = default;
  ~SampleGrabberCallback();

  SampleRoute sampleRoute_;
  BufferRoute bufferRoute_;
  std::atomic<std::int32_t> references_{0};
};

// One counted reference: AddRef when taken, Release when dropped.
class SampleGrabberCallbackRef {
 public:
  SampleGrabberCallbackRef() = default;
  explicit SampleGrabberCallbackRef(SampleGrabberCallback* object);
  SampleGrabberCallbackRef(const SampleGrabberCallbackRef& other);
  SampleGrabberCallbackRef(SampleGrabberCallbackRef&& other) noexcept;
  SampleGrabberCallbackRef& operator=(SampleGrabberCallbackRef other) noexcept;
  ~SampleGrabberCallbackRef();

  SampleGrabberCallback* get() const { return object_; }
  SampleGrabberCallback* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void reset();

 private:
  SampleGrabberCallback* object_ = nullptr;
};

}  // namespace tessary
