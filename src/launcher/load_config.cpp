// The image's load configuration, for one field: DependentLoadFlags. Windows
// 10 (1607) and later resolve the image's own imports from the system folder
// alone when it holds LOAD_LIBRARY_SEARCH_SYSTEM32, before any of our code
// could ask for it. Everything else stays empty: no SEH handler table, no
// security cookie, no guard fields. GNU ld does not point the load
// configuration directory at this symbol; cmake/fill_load_config.py does so
// after the link.
#include <windows.h>

#include <cstddef>

#include "launcher/dll_search.h"

namespace {

// The 32-bit layout up to the SEH handler fields: 72 bytes.
struct LoadConfiguration32 {
  DWORD size;
  DWORD timeDateStamp;
  WORD majorVersion;
  WORD minorVersion;
  DWORD globalFlagsClear;
  DWORD globalFlagsSet;
  DWORD criticalSectionDefaultTimeout;
  DWORD deCommitFreeBlockThreshold;
  DWORD deCommitTotalFreeThreshold;
  DWORD lockPrefixTable;
  DWORD maximumAllocationSize;
  DWORD virtualMemoryThreshold;
  DWORD processHeapFlags;
  DWORD processAffinityMask;
  WORD csdVersion;
  WORD dependentLoadFlags;
  DWORD editList;
  DWORD securityCookie;
  DWORD seHandlerTable;
  DWORD seHandlerCount;
};
constexpr DWORD kLoadConfigurationSize = 72;
static_assert(sizeof(LoadConfiguration32) == kLoadConfigurationSize, "32-bit layout");
static_assert(offsetof(LoadConfiguration32, dependentLoadFlags) == 54, "32-bit layout");

constexpr LoadConfiguration32 MakeLoadConfiguration() {
  LoadConfiguration32 configuration = {};
  configuration.size = kLoadConfigurationSize;
  configuration.dependentLoadFlags = static_cast<WORD>(zor::kDllSearchSystemFolderOnly);
  return configuration;
}

}  // namespace

// The name the platform's tools give the load configuration; the link keeps
// it (--require-defined) although nothing refers to it.
extern "C" const LoadConfiguration32 _load_config_used = MakeLoadConfiguration();
