// Small file primitives shared by the locator, the range digest and the cache.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "runtime/unique_handle.h"
#include "runtime/wide_string.h"

namespace zor {

// Moves the file position to `offset` from the beginning.
bool SeekTo(HANDLE file, int64_t offset);

// Reads exactly `count` bytes into `buffer`, repeating short reads. False on
// a read error or at end of file; the buffer may then hold part of the data.
// A count of 0 succeeds without reading.
bool ReadExact(HANDLE file, void* buffer, uint32_t count);

// The file's size; false when the query fails or the size is negative.
bool QueryFileSize(HANDLE file, int64_t* size);

// Opens an existing file for reading, letting others read it and delete or
// rename it meanwhile. The result is invalid when the open failed.
UniqueHandle OpenForSharedReading(const WideString& path);

}  // namespace zor
