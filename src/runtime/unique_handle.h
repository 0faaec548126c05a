// Scope-bound owners for the platform's handles. A handle owner closes what it
// holds when it goes out of scope; both null and INVALID_HANDLE_VALUE count as
// "nothing held", because Win32 reports failure with either, depending on the
// call.
#pragma once

#include <windows.h>

namespace zor {

inline bool IsValidHandle(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  bool IsValid() const { return IsValidHandle(handle_); }
  HANDLE Get() const { return handle_; }

  // Closes the held handle, if any, and holds `handle` instead.
  void Reset(HANDLE handle = nullptr) {
    if (IsValid()) CloseHandle(handle_);
    handle_ = handle;
  }

  // Gives up ownership without closing.
  HANDLE Release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A top-level window destroyed when its owner goes out of scope.
class UniqueWindow {
 public:
  UniqueWindow() = default;
  explicit UniqueWindow(HWND window) : window_(window) {}
  ~UniqueWindow() { Reset(); }
  UniqueWindow(const UniqueWindow&) = delete;
  UniqueWindow& operator=(const UniqueWindow&) = delete;

  HWND Get() const { return window_; }
  void Reset(HWND window = nullptr) {
    if (window_ != nullptr) DestroyWindow(window_);
    window_ = window;
  }
  HWND Release() {
    HWND window = window_;
    window_ = nullptr;
    return window;
  }

 private:
  HWND window_ = nullptr;
};

}  // namespace zor
