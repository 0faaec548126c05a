// Runs a launcher file to its end from a test: waits for it with a time
// limit, and reads and dismisses the error box it shows, so that no box or
// process is left behind whatever the launcher does.
#pragma once

#include <windows.h>

#include <string>

#include "support/message_box.h"
#include "support/process_runner.h"

namespace zor::test {

constexpr DWORD kLauncherRunLimitMs = 60000;

struct LauncherOutcome {
  bool exited = false;  // false: still running at the time limit, then killed
  DWORD exitCode = 0;
  bool boxShown = false;
  MessageBoxContents box;
};

// Waits for a started launcher; a box it shows is read and dismissed.
LauncherOutcome FinishLauncher(ChildProcess* launcher, DWORD timeoutMs = kLauncherRunLimitMs);

// Starts `launcherPath` with no arguments and runs it to its end.
LauncherOutcome RunLauncher(const std::wstring& launcherPath,
                            DWORD timeoutMs = kLauncherRunLimitMs);

}  // namespace zor::test
