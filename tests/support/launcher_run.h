// Running a launcher file to its end from a test: every error box it shows
// is read and dismissed so that the run cannot hang, and the per-user cache
// folder it fills is found and removed again.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/sha256_digest.h"
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
void WaitForLauncherEnd(ChildProcess* launcher, DWORD timeoutMs, LauncherRun* run);

// The cache folder of the payload with `digest`, as the launcher names it:
// <local application data>\ZOR\FirmwareUpdate\Payloads\<digest in hex>.
std::wstring PayloadCacheFolder(const Sha256Digest& digest);

// Removes the payload's cache folder when it goes, so that the unique
// payloads of the tests do not pile up in the prefix.
class ScopedPayloadCache {
 public:
  explicit ScopedPayloadCache(const Sha256Digest& digest) : folder_(PayloadCacheFolder(digest)) {}
  ~ScopedPayloadCache();
  ScopedPayloadCache(const ScopedPayloadCache&) = delete;
  ScopedPayloadCache& operator=(const ScopedPayloadCache&) = delete;

  const std::wstring& Folder() const { return folder_; }

 private:
  std::wstring folder_;
};

// The top-level windows of `processId` with class `className`.
std::vector<HWND> WindowsOfProcess(DWORD processId, const std::wstring& className);

}  // namespace zor::test
