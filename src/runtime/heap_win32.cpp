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

}  // namespace zor
