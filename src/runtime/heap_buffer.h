// A zero-filled heap block owned by one scope.
#pragma once

#include <stddef.h>

#include "runtime/heap.h"

namespace zor {

class HeapBuffer {
 public:
  explicit HeapBuffer(size_t size) : data_(AllocateZeroed(size)), size_(size) {}
  ~HeapBuffer() { FreeMemory(data_); }
  HeapBuffer(const HeapBuffer&) = delete;
  HeapBuffer& operator=(const HeapBuffer&) = delete;

  void* Get() const { return data_; }
  unsigned char* Bytes() const { return static_cast<unsigned char*>(data_); }
  size_t Size() const { return size_; }

 private:
  void* data_;
  size_t size_;
};

}  // namespace zor
