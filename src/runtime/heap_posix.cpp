// The allocator of heap.h for the native packer's build of the file format
// code: the C library's heap, with the same fatal ending.
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

size_t CheckedBytes(size_t count, size_t unitSize) {
  if (unitSize != 0 && count > static_cast<size_t>(-1) / unitSize) TerminateOnFatalError();
  return count * unitSize;
}

}  // namespace zor
