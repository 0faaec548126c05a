// Finds and drives the launcher's error box from a test: by process and
// caption, reading its parts by class (the control ids differ between
// Windows and Wine), and dismissing it so that no box is left waiting.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zor::test {

constexpr DWORD kBoxWaitMs = 30000;
// Lets a box that has just appeared finish building its controls.
constexpr DWORD kBoxSettleMs = 100;

struct MessageBoxContents {
  std::wstring caption;
  std::wstring text;
  int buttonCount = 0;
  std::wstring buttonText;  // of the first button
  bool hasIcon = false;
};

// The first top-level dialog box ("#32770") of `processId`, or null after
// `timeoutMs`. Only that process's windows are looked at: tests run side by
// side, and another test's box is not this one's.
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs = kBoxWaitMs);
MessageBoxContents ReadMessageBox(HWND box);
// Clicks the box's first button and waits until the box has gone. False when
// it is still there after kBoxWaitMs.
bool PressFirstButton(HWND box);

// The window's class name.
std::wstring WindowClassOf(HWND window);
// The top-level windows of `processId` with class `className`.
std::vector<HWND> WindowsOfProcess(DWORD processId, const std::wstring& className);

// True when `processId` owns a visible top-level dialog box right now.
bool HasMessageBox(DWORD processId);

}  // namespace zor::test
