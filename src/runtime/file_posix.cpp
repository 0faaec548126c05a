#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/file.h"

namespace zor {

// Offsets and sizes past 2 GiB must survive every call on every host; the
// build asks for 64-bit file offsets, and this holds it to that.
static_assert(sizeof(off_t) == sizeof(int64_t), "file offsets must be 64 bits wide");

namespace {

// rw for everyone, narrowed by the user's umask, like any new file.
constexpr mode_t kNewFileMode = 0666;

int64_t Nanoseconds(const struct timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

void IdentityOf(const struct stat& facts, FileIdentity* identity) {
  identity->device = static_cast<uint64_t>(facts.st_dev);
  identity->index = static_cast<uint64_t>(facts.st_ino);
  identity->size = static_cast<int64_t>(facts.st_size);
  identity->modified = Nanoseconds(facts.st_mtim);
  identity->changed = Nanoseconds(facts.st_ctim);
  identity->regular = S_ISREG(facts.st_mode);
}

}  // namespace

// POSIX has no sharing modes: others may always rename or remove a file.
FileHandle OpenLettingOthersRemove(const PathChar* path) {
  return open(path, O_RDONLY | O_CLOEXEC);
}

FileHandle OpenKeepingUnchanged(const PathChar* path) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer, forever if none
  // comes; O_NOCTTY keeps a terminal from becoming ours. Neither changes
  // how a regular file reads.
  return open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

FileHandle CreateReplacingWriteOnly(const PathChar* path) {
  return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode);
}

FileHandle CreateExclusively(const PathChar* path) {
  // O_EXCL fails on any existing name, and with O_NOFOLLOW a dangling link
  // is not followed either.
  return open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
}

bool SeekTo(FileHandle file, int64_t offset) {
  return offset >= 0 && lseek(file, static_cast<off_t>(offset), SEEK_SET) == offset;
}

namespace {

ReadWatch readWatch = nullptr;

}  // namespace

void SetReadWatch(ReadWatch watch) {
  readWatch = watch;
}

bool ReadSome(FileHandle file, void* buffer, uint32_t count, uint32_t* read) {
  // Where the read begins, for the watch only (one more call per read).
  int64_t at = readWatch != nullptr ? static_cast<int64_t>(lseek(file, 0, SEEK_CUR)) : -1;
  ssize_t got;
  do {
    got = ::read(file, buffer, count);
  } while (got < 0 && errno == EINTR);
  if (got <= 0 || static_cast<uint64_t>(got) > count) return false;
  if (readWatch != nullptr &&
      !readWatch(file, at, static_cast<const unsigned char*>(buffer), static_cast<uint32_t>(got))) {
    return false;
  }
  *read = static_cast<uint32_t>(got);
  return true;
}

bool WriteAll(FileHandle file, const void* bytes, uint32_t count) {
  auto* cursor = static_cast<const unsigned char*>(bytes);
  // POSIX may write less than asked (a signal, a pipe); finish the job.
  while (count > 0) {
    ssize_t written = ::write(file, cursor, count);
    if (written < 0 && errno == EINTR) continue;
    // A descriptor that another program set non-blocking (a shared pipe)
    // takes the rest once its reader has caught up.
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      struct pollfd ready = {file, POLLOUT, 0};
      poll(&ready, 1, -1);
      continue;
    }
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

bool QueryFileIdentity(FileHandle file, FileIdentity* identity) {
  struct stat facts;
  if (fstat(file, &facts) != 0) return false;
  IdentityOf(facts, identity);
  return true;
}

bool QueryPathIdentity(const PathChar* path, FileIdentity* identity) {
  struct stat facts;
  if (stat(path, &facts) != 0) return false;
  IdentityOf(facts, identity);
  return true;
}

}  // namespace zor
