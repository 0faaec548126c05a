#include "support/launcher_run.h"

#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/file_bytes.h"

namespace zor::test {

namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kBoxReadMs = 2000;
constexpr wchar_t kCacheSubfolder[] = L"\\ZOR\\FirmwareUpdate\\Payloads\\";

struct WindowSearch {
  DWORD processId;
  const std::wstring* className;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  if (owner == search->processId && *search->className == name) search->found.push_back(window);
  return TRUE;
}

std::wstring LocalApplicationData() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    ADD_FAILURE() << "no local application-data folder";
  }
  return folder;
}

}  // namespace

void WaitForLauncherEnd(ChildProcess* launcher, DWORD timeoutMs, LauncherRun* run) {
  for (DWORD waited = 0;; waited += kPollMs) {
    if (launcher->Wait(kPollMs, &run->exitCode)) {
      run->exited = true;
      return;
    }
    if (HasMessageBox(launcher->Id())) {
      MessageBoxContents box;
      if (DismissMessageBox(launcher->Id(), &box, kBoxReadMs)) run->boxes.push_back(box);
    }
    if (waited >= timeoutMs) {
      launcher->Kill();
      return;
    }
  }
}

LauncherRun RunLauncherToEnd(const std::wstring& exe, const std::wstring& commandLine,
                             DWORD timeoutMs) {
  LauncherRun run;
  ChildProcess launcher;
  run.started = launcher.Start(exe, commandLine);
  if (run.started) WaitForLauncherEnd(&launcher, timeoutMs, &run);
  return run;
}

std::wstring PayloadCacheFolder(const Sha256Digest& digest) {
  std::string hex = HexOf(digest);
  return LocalApplicationData() + kCacheSubfolder + std::wstring(hex.begin(), hex.end());
}

ScopedPayloadCache::~ScopedPayloadCache() {
  std::error_code error;
  std::filesystem::remove_all(folder_, error);
}

std::vector<HWND> WindowsOfProcess(DWORD processId, const std::wstring& className) {
  WindowSearch search = {processId, &className, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace zor::test
