#include "support/launcher_run.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace zor::test {

namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kBoxReadMs = 2000;

struct WindowSearch {
  DWORD processId;
  const std::wstring* className;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && *search->className == WindowClassOf(window)) {
    search->found.push_back(window);
  }
  return TRUE;
}

}  // namespace

LauncherRun FinishLauncher(ChildProcess* launcher, DWORD timeoutMs) {
  LauncherRun run;
  run.started = true;
  for (DWORD waited = 0;; waited += kPollMs) {
    if (launcher->Wait(kPollMs, &run.exitCode)) {
      run.exited = true;
      return run;
    }
    if (HasMessageBox(launcher->Id())) {
      MessageBoxContents box;
      if (DismissMessageBox(launcher->Id(), &box, kBoxReadMs)) run.boxes.push_back(box);
    }
    if (waited >= timeoutMs) {
      launcher->Kill();
      return run;
    }
  }
}

LauncherRun RunLauncherToEnd(const std::wstring& exe, const std::wstring& commandLine,
                             DWORD timeoutMs) {
  ChildProcess launcher;
  if (!launcher.Start(exe, commandLine)) return LauncherRun();
  return FinishLauncher(&launcher, timeoutMs);
}

std::vector<HWND> WindowsOfProcess(DWORD processId, const std::wstring& className) {
  WindowSearch search = {processId, &className, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace zor::test
