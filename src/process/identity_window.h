// An off-screen 1x1 tool window that stands for the launcher while the tool
// runs, so that the launcher has a window identity of its own.
#pragma once

#include <windows.h>

#include "runtime/wide_string.h"

namespace zor {

constexpr wchar_t kIdentityWindowClass[] = L"ZOR.FirmwareUpdate.Identity";
constexpr int kIdentityWindowPosition = -32000;
constexpr int kIdentityWindowExtent = 1;
constexpr DWORD kIdentityWindowExStyle = WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
constexpr DWORD kIdentityWindowStyle = WS_POPUP;
// The class icon's resource id. The product's icon group has id 0, which
// cannot be named by number, so this load finds nothing and the class has no
// icon; an off-screen tool window shows none anyway.
constexpr WORD kIdentityIconId = 1;
constexpr int kIdentityIconExtent = 32;

// Registers the class (if it is not yet) and shows the window without
// activating it. Null when the window could not be created, which is not an
// error: the tool then runs without it. The caller destroys the window.
HWND CreateIdentityWindow(HINSTANCE instance, const WideString& title);

}  // namespace zor
