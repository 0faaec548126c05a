#include "process/identity_window.h"

namespace zor {

HWND CreateIdentityWindow(HINSTANCE instance, const WideString& title) {
  auto icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIdentityIconId), IMAGE_ICON,
                                            kIdentityIconExtent, kIdentityIconExtent, 0));
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = instance;
  windowClass.hIcon = icon;
  windowClass.hIconSm = icon;
  windowClass.lpszClassName = kIdentityWindowClass;
  // A failed registration shows up as a failed creation below.
  RegisterClassExW(&windowClass);

  HWND window = CreateWindowExW(kIdentityWindowExStyle, kIdentityWindowClass, title.Data(),
                                kIdentityWindowStyle, kIdentityWindowPosition,
                                kIdentityWindowPosition, kIdentityWindowExtent,
                                kIdentityWindowExtent, nullptr, nullptr, instance, nullptr);
  if (window != nullptr) ShowWindow(window, SW_SHOWNOACTIVATE);
  return window;
}

}  // namespace zor
