#include "support/message_box.h"

#include <vector>

namespace zor::test {

namespace {

constexpr DWORD kPollMs = 20;

std::wstring TextOf(HWND window) {
  // WM_GETTEXT rather than GetWindowText: the box belongs to another process.
  wchar_t text[2048] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      5000, nullptr);
  return text;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND box) {
  std::vector<HWND> children;
  EnumChildWindows(box, CollectWindow, reinterpret_cast<LPARAM>(&children));
  return children;
}

HWND FindBox(DWORD processId) {
  for (HWND window : WindowsOfProcess(processId, L"#32770")) {
    if (IsWindowVisible(window)) return window;
  }
  return nullptr;
}

}  // namespace

std::vector<HWND> WindowsOfProcess(DWORD processId, const std::wstring& className) {
  std::vector<HWND> all;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
  std::vector<HWND> found;
  for (HWND window : all) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && WindowClassOf(window) == className) found.push_back(window);
  }
  return found;
}

std::wstring WindowClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs) {
  for (DWORD waited = 0;; waited += kPollMs) {
    if (HWND box = FindBox(processId)) return box;
    if (waited >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

bool HasMessageBox(DWORD processId) {
  return FindBox(processId) != nullptr;
}

MessageBoxContents ReadMessageBox(HWND box) {
  MessageBoxContents contents;
  contents.caption = TextOf(box);
  for (HWND child : ChildrenOf(box)) {
    std::wstring kind = WindowClassOf(child);
    LONG style = GetWindowLongW(child, GWL_STYLE);
    if (kind == L"Button" && (style & WS_VISIBLE)) {
      if (contents.buttonCount++ == 0) contents.buttonText = TextOf(child);
    } else if (kind == L"Static") {
      if ((style & SS_TYPEMASK) == SS_ICON) {
        contents.hasIcon = contents.hasIcon || (style & WS_VISIBLE);
      } else {
        std::wstring text = TextOf(child);
        if (text.size() > contents.text.size()) contents.text = text;
      }
    }
  }
  return contents;
}

namespace {

void PostFirstButtonClick(HWND box) {
  for (HWND child : ChildrenOf(box)) {
    if (WindowClassOf(child) == L"Button" && (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)) {
      PostMessageW(child, BM_CLICK, 0, 0);
      return;
    }
  }
  // No button found: close the box the way the keyboard would.
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}

}  // namespace

bool PressFirstButton(HWND box) {
  PostFirstButtonClick(box);
  // The click is only posted: a busy machine can take seconds to act on it,
  // and a caller that looks for boxes meanwhile would find this one again.
  for (DWORD waited = 0; IsWindow(box) && IsWindowVisible(box); waited += kPollMs) {
    if (waited >= kBoxWaitMs) return false;
    Sleep(kPollMs);
  }
  return true;
}

}  // namespace zor::test
