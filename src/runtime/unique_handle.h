// Scope-bound owners for the platform's handles: an owner releases what it
// holds when it goes out of scope, so no exit path needs a hand-written
// close. For kernel handles both null and INVALID_HANDLE_VALUE count as
// "nothing held", because Win32 reports failure with either, depending on
// the call.
#pragma once

#include <windows.h>

#include "runtime/unique_resource.h"

namespace zor {

inline bool IsValidHandle(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

namespace detail {

inline void CloseKernelHandle(HANDLE handle) {
  CloseHandle(handle);
}

inline void DestroyWindowHandle(HWND window) {
  DestroyWindow(window);
}

}  // namespace detail

using UniqueHandle = UniqueResource<HANDLE, detail::CloseKernelHandle, IsValidHandle>;
// A top-level window destroyed when its owner goes out of scope.
using UniqueWindow = UniqueResource<HWND, detail::DestroyWindowHandle, detail::IsNonNull<HWND>>;

}  // namespace zor
