// The allocator of heap.h on POSIX systems (the native packer): the C
// library's heap, with the same fatal ending.
#include <stdlib.h>

#include "runtime/heap.h"

namespace zor {

void TerminateOnFatalError() {
  _Exit(kFatalExitStatus);
}

void* AllocateZeroed(size_t size) {
  void* block = calloc(size == 0 ? 1 : size, 1);
  if (block == nullptr) TerminateOnFatalError();
  return block;
}

void FreeMemory(void* block) {
  free(block);
}

}  // namespace zor
