// The state of one run, owned by the main sequence and handed to its stages.
// The handles that live across stages are held here and closed when the run
// ends: the launcher's own file, the cache lock (owned only inside the cache
// stage), and the identity window.
#pragma once

#include <windows.h>

#include "common/payload_location.h"
#include "runtime/file.h"
#include "runtime/unique_handle.h"
#include "runtime/wide_string.h"

namespace zor {

// The exit status of every launcher failure.
constexpr int kLaunchFailureExitStatus = 1;

struct LaunchContext {
  HINSTANCE instance = nullptr;
  WideString launcherPath;
  WideString displayTitle;
  UniqueFile selfFile;
  PayloadLocation payload = {};
  WideString cacheDirectory;
  WideString cachedToolPath;
  UniqueHandle cacheLock;
  UniqueWindow identityWindow;
  int exitStatus = kLaunchFailureExitStatus;
};

}  // namespace zor
