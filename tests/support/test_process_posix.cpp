#include <sys/resource.h>
#include <unistd.h>

#include "support/test_process.h"

namespace zor::test {

uint32_t TestProcessId() {
  return static_cast<uint32_t>(getpid());
}

size_t PeakMemoryBytes() {
  struct rusage usage = {};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<size_t>(usage.ru_maxrss) * 1024;  // reported in KiB
}

}  // namespace zor::test
