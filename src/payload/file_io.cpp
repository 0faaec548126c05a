#include "payload/file_io.h"

namespace zor {

bool SeekTo(HANDLE file, int64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) != FALSE;
}

bool ReadExact(HANDLE file, void* buffer, uint32_t count) {
  auto* cursor = static_cast<unsigned char*>(buffer);
  while (count > 0) {
    DWORD read = 0;
    if (!ReadFile(file, cursor, count, &read, nullptr) || read == 0) return false;
    // A misbehaving file system must not push the cursor past the buffer.
    if (read > count) return false;
    cursor += read;
    count -= read;
  }
  return true;
}

bool QueryFileSize(HANDLE file, int64_t* size) {
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
