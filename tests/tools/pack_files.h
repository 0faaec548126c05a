// Small helpers shared by the packer's tests: made-up executables, locating
// and slices and sparse files of them.
#pragma once

#include <cstdint>
#include <string>

#include "support/file_bytes.h"

namespace zor::test {

// A minimal PE image followed by `extraBytes` of pattern, so that its length
// and contents can be chosen freely.
Bytes PeImageWithTail(size_t extraBytes, uint32_t seed, bool pe32Plus = false);

Bytes Slice(const Bytes& bytes, uint64_t offset, uint64_t size);

// Makes a file of `size` bytes that starts with `head` and is zero after it,
// without writing the zeros (the file system keeps them sparse where it can).
void WriteSparseFile(const std::wstring& path, const Bytes& head, uint64_t size);

}  // namespace zor::test
