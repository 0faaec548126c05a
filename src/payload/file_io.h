// The file interface that the file format code (locator, range digest, the
// packer's header walk) is written against. Each platform supplies one
// implementation, chosen when linking: file_io_win32.cpp (the launcher and
// zorpack.exe) or file_io_posix.cpp (the native packer).
#pragma once

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>

#include "runtime/unique_handle.h"
#include "runtime/wide_string.h"
#endif

namespace zor {

#ifdef _WIN32
using FileHandle = HANDLE;
#else
using FileHandle = int;  // a file descriptor
#endif

// The value that stands for "no file", for instance no copy target.
inline FileHandle NoFile() {
#ifdef _WIN32
  return INVALID_HANDLE_VALUE;
#else
  return -1;
#endif
}

// Moves the file position to `offset` from the beginning.
bool SeekTo(FileHandle file, int64_t offset);

// Reads exactly `count` bytes into `buffer`, repeating short reads. False on
// a read error or at end of file; the buffer may then hold part of the data.
// A count of 0 succeeds without reading.
bool ReadExact(FileHandle file, void* buffer, uint32_t count);

// One read of at most `count` bytes at the file position. False on a read
// error or at end of file (nothing read); otherwise `*read` is 1..count.
bool ReadSome(FileHandle file, void* buffer, uint32_t count, uint32_t* read);

// Writes all `count` bytes at the file position; false when that fails.
bool WriteAll(FileHandle file, const void* bytes, uint32_t count);

// The file's size; false when the query fails or the size is negative.
bool QueryFileSize(FileHandle file, int64_t* size);

#ifdef _WIN32
// Opens an existing file for reading, letting others read it and delete or
// rename it meanwhile. The result is invalid when the open failed.
UniqueHandle OpenForSharedReading(const WideString& path);
#endif

}  // namespace zor
