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
// that no other value ever means "no file".
constexpr FileHandle kNoFile = nullptr;

inline FileHandle NoFile() {
  return kNoFile;
}

inline bool IsOpenFile(FileHandle file) {
  return file != kNoFile;
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
