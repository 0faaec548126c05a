// Small helpers shared by the packer's tests: made-up executables, locating
// a payload the way the launcher does, and the contents of a test folder.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "common/payload_location.h"
#include "support/file_bytes.h"

namespace zor::test {

// A minimal PE image followed by `extraBytes` of pattern, so that its length
// and contents can be chosen freely.
Bytes PeImageWithTail(size_t extraBytes, uint32_t seed, bool pe32Plus = false);

// Runs the launcher's own locator on the file at `path`.
bool LocateIn(const std::wstring& path, PayloadLocation* location);

// The names in folder `path`, "." and ".." left out.
std::set<std::wstring> FolderEntries(const std::wstring& path);

Bytes Slice(const Bytes& bytes, uint64_t offset, uint64_t size);

// Makes a file of `size` bytes that starts with `head` and is zero after it,
// without writing the zeros (the file system keeps them sparse where it can).
void WriteSparseFile(const std::wstring& path, const Bytes& head, uint64_t size);

}  // namespace zor::test
