// The launcher image's entry point. There is no C runtime to start: the
// process begins here, hands the module instance to the GUI entry, and ends
// with its result. ExitProcess rather than a return, so that threads the
// system libraries may have started cannot keep the process alive.
#include <windows.h>

#include "launcher/dll_search.h"
#include "launcher/launcher_main.h"

extern "C" void __stdcall LauncherEntry() {
  // First of all: no DLL that the run loads later (the theme library behind
  // the box, the profile libraries behind the folder query) may come from
  // the launcher's own folder.
  zor::RestrictDllSearch();
  HINSTANCE instance = GetModuleHandleW(nullptr);
  UINT status = static_cast<UINT>(zor::LauncherWinMain(instance, nullptr, nullptr, SW_SHOWDEFAULT));
  ExitProcess(status);
}
