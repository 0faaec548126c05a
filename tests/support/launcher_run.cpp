#include "support/launcher_run.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "support/cache_folder.h"

namespace zor::test {

namespace {

constexpr DWORD kPollMs = 20;

}  // namespace

LauncherRun FinishLauncher(ChildProcess* launcher, DWORD timeoutMs) {
  LauncherRun run;
  run.started = true;
  std::vector<HWND> counted;
  for (DWORD waited = 0;; waited += kPollMs) {
    if (launcher->Wait(kPollMs, &run.exitCode)) {
      run.exited = true;
      return run;
    }
    HWND box = WaitForMessageBox(launcher->Id(), 0);
    if (box != nullptr) {
      // A box that outlives its dismissal is pressed again but counted once.
      if (std::find(counted.begin(), counted.end(), box) == counted.end()) {
        counted.push_back(box);
        Sleep(kBoxSettleMs);
        run.boxes.push_back(ReadMessageBox(box));
      }
      PressFirstButton(box);
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

namespace {

// Opens `path` with `access` and `share`; true when that worked, else the
// error in `error`.
bool CanOpen(const std::wstring& path, DWORD access, DWORD share, DWORD* error) {
  UniqueHandle file = OpenExisting(path, access, share);
  *error = GetLastError();
  return file.IsValid();
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

void ExpectLauncherFileHeld(const std::wstring& launcherPath) {
  DWORD error = 0;
  EXPECT_FALSE(CanOpen(launcherPath, GENERIC_READ, 0, &error)) << "the launcher's file is not open";
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(CanOpen(launcherPath, DELETE, kShareAll, &error))
      << "the launcher's file is held without delete sharing, error " << error;
  EXPECT_TRUE(CanOpen(launcherPath, GENERIC_READ, kShareAll, &error))
      << "the launcher's file is held without read sharing, error " << error;
  EXPECT_FALSE(CanOpen(launcherPath, GENERIC_WRITE, kShareAll, &error))
      << "the launcher's file is held with write sharing";
}

void ExpectLockReleasedButOpen(const std::wstring& name) {
  UniqueHandle lock(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
  ASSERT_TRUE(lock.IsValid()) << "the lock is gone: the launcher closed its handle, error "
                              << GetLastError();
  DWORD wait = WaitForSingleObject(lock.Get(), 0);
  EXPECT_EQ(wait, static_cast<DWORD>(WAIT_OBJECT_0)) << "the lock is still owned";
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ReleaseMutex(lock.Get());
}

}  // namespace zor::test
