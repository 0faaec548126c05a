// What a file is on Windows, for runtime/file.h: a kernel handle, and paths
// in UTF-16. The build puts this folder or src/runtime/posix on the include
// path, so this is the one place the Windows build picks its file type.
#pragma once

#include <windows.h>

namespace zor {

using FileHandle = HANDLE;
using PathChar = wchar_t;

// Null, what an empty owner holds. CreateFileW reports a failed open with
// INVALID_HANDLE_VALUE instead: file_win32.cpp turns that into NoFile(), so
// that no other value is ever handed out as "no file".
constexpr FileHandle NoFile() {
  return nullptr;
}

// Neither null nor INVALID_HANDLE_VALUE, whichever way a handle came.
inline bool IsOpenFile(FileHandle file) {
  return file != NoFile() && file != INVALID_HANDLE_VALUE;
}

// Releases an open file (one for which IsOpenFile is true).
inline void CloseFile(FileHandle file) {
  CloseHandle(file);
}

// Writes the file's data through to the disk.
inline bool FlushFile(FileHandle file) {
  return FlushFileBuffers(file) != FALSE;
}

}  // namespace zor
