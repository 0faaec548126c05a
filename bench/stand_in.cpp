// The launcher with the payload work taken out: the same four imports, the
// same identity window and the same start-and-pump of the cached copy
// (ZOR_BENCH_FILE, started in ZOR_BENCH_FOLDER), but no self-location, no
// lock and no hashing. What the launcher takes beyond this is the price of
// finding and checking its payload.
#include <windows.h>

#include <bcrypt.h>

#include "bench/bench_names.h"
#include "process/identity_window.h"
#include "process/tool_runner.h"
#include "runtime/wide_string.h"

namespace {

constexpr DWORD kPathCapacity = 1024;

// The launcher imports bcrypt; so must the stand-in, or it would skip that
// library's load. Nothing here calls it.
const void* volatile gKeepBcryptImported = reinterpret_cast<const void*>(&BCryptDestroyHash);

bool ReadVariable(const wchar_t* name, zor::WideString* value) {
  wchar_t text[kPathCapacity];
  DWORD length = GetEnvironmentVariableW(name, text, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) return false;
  *value = zor::WideString(text, length);
  return true;
}

DWORD Run() {
  zor::WideString tool;
  zor::WideString folder;
  if (!ReadVariable(zor::bench::kFileVariable, &tool) ||
      !ReadVariable(zor::bench::kFolderVariable, &folder)) {
    return 1;
  }
  zor::UniqueWindow window(
      zor::CreateIdentityWindow(GetModuleHandleW(nullptr), zor::WideString(L"Updater")));
  zor::ToolOutcome outcome = zor::RunTool(tool, folder, &window);
  return outcome.finished ? outcome.exitCode : 1;
}

}  // namespace

extern "C" void __stdcall BenchEntry() {
  ExitProcess(Run() + (gKeepBcryptImported == nullptr ? 1 : 0));
}
