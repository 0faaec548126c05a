#pragma once

#include <windows.h>

namespace zor {

constexpr DWORD kModulePathCapacity = 32768;

// True when GetModuleFileNameW(nullptr, buffer, kModulePathCapacity) gave
// `length` for a whole path: 0 is a failure, and a path that fills the buffer
// may have been cut short.
inline bool IsWholeModulePath(DWORD length) {
  return length != 0 && length < kModulePathCapacity;
}

// The Unicode GUI entry: runs the launch sequence once and returns the exit
// status, the tool's own exit code or 1 after a failure. Only `instance` is
// used; the arguments are read from the process command line.
int LauncherWinMain(HINSTANCE instance, HINSTANCE previousInstance, PWSTR commandLine,
                    int showCommand);

}  // namespace zor
