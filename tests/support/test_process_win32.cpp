#include <windows.h>

#include <psapi.h>

#include "support/test_process.h"

namespace zor::test {

uint32_t TestProcessId() {
  return GetCurrentProcessId();
}

size_t PeakMemoryBytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}

}  // namespace zor::test
