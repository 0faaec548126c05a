// Running a launcher file to its end from a test: every error box it shows
// is read and dismissed so that the run cannot hang, and the per-user cache
// folder it fills is found and removed again.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/message_box.h"
#include "support/process_runner.h"

namespace zor::test {

struct LauncherRun {
  bool started = false;
  bool exited = false;  // within the time limit; otherwise it was killed
  DWORD exitCode = 0;
  std::vector<MessageBoxContents> boxes;  // in the order they showed
};

// Starts `exe` with the whole `commandLine` (empty: the quoted path alone)
// and waits up to `timeoutMs` for it to end, dismissing its boxes.
LauncherRun RunLauncherToEnd(const std::wstring& exe, const std::wstring& commandLine = L"",
                             DWORD timeoutMs = kDefaultWaitMs);

// Waits for a started launcher in the same way.
LauncherRun FinishLauncher(ChildProcess* launcher, DWORD timeoutMs = kDefaultWaitMs);

// Checks what a launcher must hold while its tool runs or its box shows: its
// own file open for reading, letting others read and delete it (the user may
// move the file away) but not write it.
void ExpectLauncherFileHeld(const std::wstring& launcherPath);

// Checks that the cache lock `name` still exists (the launcher keeps its
// handle) and that nobody owns it (the launcher released it).
void ExpectLockReleasedButOpen(const std::wstring& name);

}  // namespace zor::test
