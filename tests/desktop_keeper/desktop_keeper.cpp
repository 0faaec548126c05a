// Holds the Wine prefix's desktop while the tests run. Wine ends its desktop
// process (explorer.exe /desktop) a moment after the last program with a
// window has gone, and the next program that makes a window starts a new
// one, which inherits that program's output pipes and keeps them open for
// as long as it lives: CTest would then take that test for running until
// every windowed test after it had ended. wine-run.sh starts this program,
// detached and with its output sent to /dev/null, together with the server;
// it ends with the server.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // A message-only window is enough to hold the desktop, and no test that
  // looks for windows sees it.
  CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  Sleep(INFINITE);
  return 0;
}
