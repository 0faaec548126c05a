// The launcher's only allocator: the process heap, zero-filled. There is no
// way to fail softly: when memory runs out or a size overflows, the process
// ends at once, so no caller ever continues with a bad value.
#pragma once

#include <stddef.h>

namespace zor {

// The status the process ends with when memory or a length runs out.
constexpr unsigned kFatalExitStatus = 3;

[[noreturn]] void TerminateOnFatalError();

// Zero-filled block of `size` bytes (at least one byte is allocated).
// Never returns null.
void* AllocateZeroed(size_t size);

// Frees a block from AllocateZeroed; null is allowed.
void FreeMemory(void* block);

// `count * unitSize` or the fatal exit on overflow.
inline size_t CheckedBytes(size_t count, size_t unitSize) {
  if (unitSize != 0 && count > static_cast<size_t>(-1) / unitSize) TerminateOnFatalError();
  return count * unitSize;
}

}  // namespace zor
