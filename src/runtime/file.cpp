#include "runtime/file.h"

namespace zor {

// The same on every platform, on top of the platform's ReadSome.
bool ReadExact(FileHandle file, void* buffer, uint32_t count) {
  auto* cursor = static_cast<unsigned char*>(buffer);
  while (count > 0) {
    uint32_t read = 0;
    // ReadSome never reports more than asked, so the cursor stays inside
    // the buffer even when a file system misbehaves.
    if (!ReadSome(file, cursor, count, &read)) return false;
    cursor += read;
    count -= read;
  }
  return true;
}

}  // namespace zor
