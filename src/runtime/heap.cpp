#include "runtime/heap.h"

#include <windows.h>

namespace zor {

void TerminateOnFatalError() {
  ExitProcess(kFatalExitStatus);
}

void* AllocateZeroed(size_t size) {
  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size == 0 ? 1 : size);
  if (block == nullptr) TerminateOnFatalError();
  return block;
}

void FreeMemory(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

size_t CheckedBytes(size_t count, size_t unitSize) {
  if (unitSize != 0 && count > static_cast<size_t>(-1) / unitSize) TerminateOnFatalError();
  return count * unitSize;
}

}  // namespace zor
