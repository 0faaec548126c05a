// Scope-bound owners for the platform's handles: an owner releases what it
// holds when it goes out of scope, so no exit path needs a hand-written
// close. For kernel handles both null and INVALID_HANDLE_VALUE count as
// "nothing held", because Win32 reports failure with either, depending on
// the call.
#pragma once

#include <windows.h>

namespace zor {

inline bool IsValidHandle(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// Owns one value of type T. `Close` releases a value for which `IsHeld` is
// true; a default-constructed T is the empty value.
template <typename T, void (*Close)(T), bool (*IsHeld)(T)>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  ~UniqueResource() { Reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  bool IsValid() const { return IsHeld(value_); }
  T Get() const { return value_; }

  // Releases the held value, if any, and holds `value` instead.
  void Reset(T value = T()) {
    if (IsHeld(value_)) Close(value_);
    value_ = value;
  }

  // Releases the held value, if any, and lends the slot to a call that
  // returns a new value through a pointer.
  T* Receive() {
    Reset();
    return &value_;
  }

  // Gives up ownership without releasing.
  T Release() {
    T value = value_;
    value_ = T();
    return value;
  }

 private:
  T value_ = T();
};

namespace detail {

inline void CloseKernelHandle(HANDLE handle) {
  CloseHandle(handle);
}

inline void DestroyWindowHandle(HWND window) {
  DestroyWindow(window);
}

template <typename T>
bool IsNonNull(T value) {
  return value != nullptr;
}

}  // namespace detail

using UniqueHandle = UniqueResource<HANDLE, detail::CloseKernelHandle, IsValidHandle>;
// A top-level window destroyed when its owner goes out of scope.
using UniqueWindow = UniqueResource<HWND, detail::DestroyWindowHandle, detail::IsNonNull<HWND>>;

}  // namespace zor
