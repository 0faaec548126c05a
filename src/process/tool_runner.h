#pragma once

#include <windows.h>

#include "runtime/unique_handle.h"
#include "runtime/wide_string.h"

namespace zor {

// What became of the tool. `finished` is false when it could not be started
// or the wait for it failed; only then is `exitCode` meaningless. Every exit
// code, 0xFFFFFFFF included, is the tool's own.
struct ToolOutcome {
  bool finished;
  DWORD exitCode;
};

// The exit code reported when the tool's own cannot be read.
constexpr DWORD kUnknownToolExitCode = 1;

// Starts `toolPath` with the forwarded arguments in `workingDirectory` and
// waits for it, dispatching this thread's messages meanwhile. When the tool
// has finished, `window` is destroyed; when it could not be started or
// waited for, `window` is left to the caller.
ToolOutcome RunTool(const WideString& toolPath, const WideString& workingDirectory,
                    UniqueWindow* window);

}  // namespace zor
