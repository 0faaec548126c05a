// The part of the file interface that the launcher image links. The
// identity queries live in file_identity_win32.cpp, so that the image does
// not import what it never calls.
#include "runtime/file.h"

namespace zor {

namespace {

// CreateFileW's failure value is INVALID_HANDLE_VALUE; the interface has
// only one.
FileHandle Opened(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? NoFile() : handle;
}

}  // namespace

FileHandle OpenLettingOthersRemove(const PathChar* path) {
  return Opened(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle OpenKeepingUnchanged(const PathChar* path) {
  // Read once from start to end: worth the hint.
  return Opened(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

FileHandle CreateReplacingWriteOnly(const PathChar* path) {
  return Opened(
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle CreateExclusively(const PathChar* path) {
  // CREATE_NEW fails on any existing name, a symbolic link included. Sharing
  // delete (what POSIX always allows) lets an interrupted writer remove its
  // file while it is still open.
  return Opened(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool SeekTo(FileHandle file, int64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) != FALSE;
}

bool ReadSome(FileHandle file, void* buffer, uint32_t count, uint32_t* read) {
  DWORD got = 0;
  if (!ReadFile(file, buffer, count, &got, nullptr) || got == 0 || got > count) return false;
  *read = got;
  return true;
}

bool WriteAll(FileHandle file, const void* bytes, uint32_t count) {
  DWORD written = 0;
  return WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

bool QueryFileSize(FileHandle file, int64_t* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(file, &value) || value.QuadPart < 0) return false;
  *size = value.QuadPart;
  return true;
}

}  // namespace zor
