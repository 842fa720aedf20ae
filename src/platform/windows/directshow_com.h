// Small COM helpers for the DirectShow layer: a counted interface pointer,
// the calling thread's membership of the multithreaded apartment, media types
// freed the way the platform hands them out, and failure texts.
#pragma once

#include <dshow.h>
#include <windows.h>

#include <cstddef>
#include <string>
#include <utility>

// The platform's sample grabber and null renderer filters. The platform's
// import library defines their class identifiers; its headers do not declare
// them.
extern "C" const CLSID CLSID_SampleGrabber;
extern "C" const CLSID CLSID_NullRenderer;

namespace tessary::directshow {

// One counted reference to a COM interface.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}  // NOLINT: reads as a null pointer
  // Takes a reference of its own; the caller keeps its reference.
  explicit ComPtr(T* object) : object_(object) {
    if (object_ != nullptr) object_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.object_) {}
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~ComPtr() { reset(); }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

  void reset() {
    if (object_ != nullptr) std::exchange(object_, nullptr)->Release();
  }
  // For calls that hand out a new reference: drops the old one first.
  T** put() {
    reset();
    return &object_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }

  // The object's interface `iid` into `out`.
  template <class U>
  HRESULT query(REFIID iid, ComPtr<U>& out) const {
    if (object_ == nullptr) return E_POINTER;
    return object_->QueryInterface(iid, out.putVoid());
  }

 private:
  T* object_ = nullptr;
};

// Holds the calling thread in the multithreaded apartment for the scope's
// life. A thread that already lives in a single-threaded apartment stays
// there, and the scope changes nothing.
class ApartmentScope {
 public:
  ApartmentScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ApartmentScope(const ApartmentScope&) = delete;
  ApartmentScope& operator=(const ApartmentScope&) = delete;
  ~ApartmentScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }

 private:
  HRESULT result_;
};

// Keeps the multithreaded apartment alive while its owner lives, so that the
// last ApartmentScope ending never tears down objects the owner still holds.
class ApartmentKeeper {
 public:
  ApartmentKeeper() {
    if (FAILED(CoIncrementMTAUsage(&cookie_))) cookie_ = nullptr;
  }
  ApartmentKeeper(const ApartmentKeeper&) = delete;
  ApartmentKeeper& operator=(const ApartmentKeeper&) = delete;
  ~ApartmentKeeper() {
    if (cookie_ != nullptr) CoDecrementMTAUsage(cookie_);
  }

 private:
  CO_MTA_USAGE_COOKIE cookie_ = nullptr;
};

// Frees what a media type's fields own (the format block and pUnk).
void freeMediaTypeFields(AM_MEDIA_TYPE& type);

// A media type the platform allocated (GetStreamCaps, IEnumMediaTypes):
// freed with its fields.
class OwnedMediaType {
 public:
  OwnedMediaType() = default;
  explicit OwnedMediaType(AM_MEDIA_TYPE* type) : type_(type) {}
  OwnedMediaType(const OwnedMediaType&) = delete;
  OwnedMediaType& operator=(const OwnedMediaType&) = delete;
  ~OwnedMediaType();

  AM_MEDIA_TYPE* get() const { return type_; }
  AM_MEDIA_TYPE** put();

 private:
  AM_MEDIA_TYPE* type_ = nullptr;
};

// The video header of a FORMAT_VideoInfo media type, or null when the type
// has another format or its format block is too short to hold one.
const VIDEOINFOHEADER* videoInfoOf(const AM_MEDIA_TYPE& type);

// The platform's description of a failure, "Class not registered" and the
// like, without a line end; the code in hex when there is none.
std::string describeResult(HRESULT result);

// UTF-16 text as the system code page's narrow text, cut to `maxBytes`
// including the terminator the caller will add.
std::string narrowText(const wchar_t* text, std::size_t maxBytes);
std::wstring wideFromUtf8(const std::string& text);

}  // namespace tessary::directshow
