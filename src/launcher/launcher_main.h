#pragma once

#include <windows.h>

namespace zor {

// The Unicode GUI entry: runs the launch sequence once and returns the exit
// status, the tool's own exit code or 1 after a failure. Only `instance` is
// used; the arguments are read from the process command line.
int LauncherWinMain(HINSTANCE instance, HINSTANCE previousInstance, PWSTR commandLine,
                    int showCommand);

}  // namespace zor
