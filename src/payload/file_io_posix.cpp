#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "payload/file_io.h"

namespace zor {

// Offsets and sizes past 2 GiB must survive every call on every host; the
// build asks for 64-bit file offsets, and this holds it to that.
static_assert(sizeof(off_t) == sizeof(int64_t), "file offsets must be 64 bits wide");

bool SeekTo(FileHandle file, int64_t offset) {
  return offset >= 0 && lseek(file, static_cast<off_t>(offset), SEEK_SET) == offset;
}

bool ReadSome(FileHandle file, void* buffer, uint32_t count, uint32_t* read) {
  ssize_t got;
  do {
    got = ::read(file, buffer, count);
  } while (got < 0 && errno == EINTR);
  if (got <= 0 || static_cast<uint64_t>(got) > count) return false;
  *read = static_cast<uint32_t>(got);
  return true;
}

bool WriteAll(FileHandle file, const void* bytes, uint32_t count) {
  auto* cursor = static_cast<const unsigned char*>(bytes);
  // POSIX may write less than asked (a signal, a pipe); finish the job.
  while (count > 0) {
    ssize_t written = ::write(file, cursor, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    cursor += written;
    count -= static_cast<uint32_t>(written);
  }
  return true;
}

bool QueryFileSize(FileHandle file, int64_t* size) {
  struct stat facts;
  if (fstat(file, &facts) != 0 || facts.st_size < 0) return false;
  *size = static_cast<int64_t>(facts.st_size);
  return true;
}

}  // namespace zor
