// The identity window, created in this process and inspected as any other
// program would see it.
#include "process/identity_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "runtime/unique_handle.h"
#include "support/message_box.h"

namespace zor {
namespace {

// Bits the system adds to every top-level window, and the one showing adds.
constexpr LONG kSystemAddedStyles = WS_CLIPSIBLINGS | WS_VISIBLE;

std::wstring TitleOf(HWND window) {
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  return title;
}

TEST(IdentityWindow, IsAShownOffScreenOnePixelToolWindowOfItsOwnClass) {
  UniqueWindow window(CreateIdentityWindow(GetModuleHandleW(nullptr), WideString(L"Some Tool.v2")));
  ASSERT_NE(window.Get(), nullptr);

  EXPECT_EQ(test::WindowClassOf(window.Get()), L"ZOR.FirmwareUpdate.Identity");
  EXPECT_EQ(TitleOf(window.Get()), L"Some Tool.v2");
  RECT rect = {};
  ASSERT_TRUE(GetWindowRect(window.Get(), &rect));
  EXPECT_EQ(rect.left, -32000);
  EXPECT_EQ(rect.top, -32000);
  EXPECT_EQ(rect.right - rect.left, 1);
  EXPECT_EQ(rect.bottom - rect.top, 1);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window.Get(), GWL_EXSTYLE)),
            static_cast<DWORD>(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE));
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window.Get(), GWL_STYLE) & ~kSystemAddedStyles),
            static_cast<DWORD>(WS_POPUP));
  EXPECT_TRUE(IsWindowVisible(window.Get()));
  EXPECT_EQ(GetParent(window.Get()), nullptr);
  EXPECT_EQ(GetWindow(window.Get(), GW_OWNER), nullptr);
  EXPECT_NE(GetForegroundWindow(), window.Get()) << "showing it must not activate it";
  // It runs on the default window procedure and answers like any window.
  EXPECT_EQ(SendMessageW(window.Get(), WM_NULL, 0, 0), 0);
}

TEST(IdentityWindow, CanBeCreatedAgainOnceTheClassIsRegistered) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  UniqueWindow first(CreateIdentityWindow(instance, WideString(L"First")));
  UniqueWindow second(CreateIdentityWindow(instance, WideString(L"")));
  ASSERT_NE(first.Get(), nullptr);
  ASSERT_NE(second.Get(), nullptr);
  EXPECT_NE(first.Get(), second.Get());
  EXPECT_EQ(test::WindowClassOf(second.Get()), L"ZOR.FirmwareUpdate.Identity");
  EXPECT_EQ(TitleOf(second.Get()), L"");
  first.Reset();
  UniqueWindow third(CreateIdentityWindow(instance, WideString(L"Third")));
  EXPECT_NE(third.Get(), nullptr);
}

}  // namespace
}  // namespace zor
