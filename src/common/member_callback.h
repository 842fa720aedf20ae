// A callback bound to one object and one of its member functions.
//
// Three fields, copied by value: the target object, the member function and an
// invoker that calls that member function on that object. Copying and calling
// never allocate, so the detection thread may carry these around per frame.
#pragma once

#include <type_traits>

namespace tessary {

template <typename... Args>
class MemberCallback {
 public:
  constexpr MemberCallback() = default;

  template <typename T>
  static MemberCallback bind(T* object, void (T::*member)(Args...)) {
    MemberCallback callback;
    if (object == nullptr || member == nullptr) return callback;
    callback.object_ = object;
    // Converting between member-function pointer types and back yields the
    // original value, so one erased type can hold any of them.
    callback.member_ = reinterpret_cast<ErasedMember>(member);
    callback.invoker_ = &invoke<T>;
    return callback;
  }

  // "Set" when bound; callers test before invoking, and an empty callback is
  // simply not called.
  bool isSet() const { return invoker_ != nullptr; }
  explicit operator bool() const { return isSet(); }

  void operator()(Args... args) const {
    if (invoker_ != nullptr) invoker_(object_, member_, args...);
  }

  void reset() { *this = MemberCallback(); }

  bool operator==(const MemberCallback& other) const {
    return object_ == other.object_ && member_ == other.member_ && invoker_ == other.invoker_;
  }

 private:
  struct Erased;
  using ErasedMember = void (Erased::*)(Args...);
  using Invoker = void (*)(void* object, ErasedMember member, Args... args);

  template <typename T>
  static void invoke(void* object, ErasedMember member, Args... args) {
    auto function = reinterpret_cast<void (T::*)(Args...)>(member);
    (static_cast<T*>(object)->*function)(args...);
  }

  void* object_ = nullptr;
  ErasedMember member_ = nullptr;
  Invoker invoker_ = nullptr;
};

static_assert(std::is_trivially_copyable_v<MemberCallback<>>);

}  // namespace tessary
