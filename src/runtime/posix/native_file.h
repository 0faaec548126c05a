// What a file is on POSIX systems, for runtime/file.h: a file descriptor,
// and paths as the bytes the user gave. The build puts this folder or
// src/runtime/win32 on the include path, so this is the one place the POSIX
// build picks its file type.
#pragma once

#include <stdint.h>
#include <unistd.h>

namespace zor {

using FileHandle = int;
using PathChar = char;

// What open() reports on failure and an empty owner holds.
constexpr FileHandle NoFile() {
  return -1;
}

inline bool IsOpenFile(FileHandle file) {
  return file >= 0;
}

// Releases an open file (one for which IsOpenFile is true).
inline void CloseFile(FileHandle file) {
  close(file);
}

// Writes the file's data through to the disk.
inline bool FlushFile(FileHandle file) {
  return fsync(file) == 0;
}

// Sees every read that ReadSome makes: the file, the offset it began at and
// the bytes read. False fails the read. The packer sets one, to compare
// what its checks read of an input with what it then hashes or copies;
// null (the default) watches nothing and costs nothing.
using ReadWatch = bool (*)(FileHandle file, int64_t offset, const unsigned char* bytes,
                           uint32_t count);
void SetReadWatch(ReadWatch watch);

}  // namespace zor
