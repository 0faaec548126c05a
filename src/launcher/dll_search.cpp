#include "launcher/dll_search.h"

#include "runtime/wide_string.h"

namespace zor {

namespace {

constexpr wchar_t kKernelModule[] = L"kernel32.dll";
constexpr char kSetDefaultDllDirectories[] = "SetDefaultDllDirectories";

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

}  // namespace

bool RestrictDllSearch() {
  // Looked up rather than imported: Windows 7 has it only with an update,
  // and an import it lacks would stop the launcher from starting at all.
  HMODULE kernel = GetModuleHandleW(kKernelModule);
  auto setDefault =
      kernel == nullptr
          ? nullptr
          : reinterpret_cast<SetDefaultDllDirectoriesFunction>(
                reinterpret_cast<void*>(GetProcAddress(kernel, kSetDefaultDllDirectories)));
  if (setDefault != nullptr && setDefault(kDllSearchSystemFolderOnly)) return true;
  // An empty folder takes the current folder out of the search.
  SetDllDirectoryW(kEmptyText);
  return false;
}

}  // namespace zor
