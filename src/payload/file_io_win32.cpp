#include "payload/file_io.h"

namespace zor {

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

UniqueHandle OpenForSharedReading(const WideString& path) {
  return UniqueHandle(CreateFileW(path.Data(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace zor
