#pragma once

#include <windows.h>

namespace zor {

// Where the launcher lets the loader look for DLLs: the system folder only.
// The launcher's own folder may be one that anyone can drop files into.
constexpr DWORD kDllSearchSystemFolderOnly = LOAD_LIBRARY_SEARCH_SYSTEM32;

// Restricts every later DLL load of this process to the system folder, and
// where the platform cannot do that (Windows 7 without its update), at least
// drops the current folder from the search. True when loads are restricted
// to the system folder; false is no error, the run goes on either way.
bool RestrictDllSearch();

}  // namespace zor
