// The one file interface of the launcher, the packer and the tests: opening,
// creating, reading, writing, seeking, sizing, identifying and closing a
// file. Each platform supplies one implementation, chosen when linking
// (file_win32.cpp or file_posix.cpp), and one native_file.h with its handle
// type, its path characters, its "no file" value, and IsOpenFile, CloseFile
// and FlushFile, which are one system call each. The fuzz targets that read
// one file link an in-memory implementation (tests/fuzz/memory_file_io.cpp)
// in place of the POSIX one.
#pragma once

#include <stdint.h>

#include "native_file.h"
#include "runtime/unique_resource.h"

namespace zor {

// Owns one open file; an empty owner holds NoFile().
using UniqueFile = UniqueResource<FileHandle, CloseFile, IsOpenFile, NoFile()>;

// What others may do with a file while it is open for reading.
enum class ReadSharing {
  // Read it, and delete or rename it (a running copy of the launcher's own
  // file, a cached copy that another launcher may replace).
  kLetOthersRemove,
  // Only read it: the packer's inputs, read from start to end, must not
  // change underneath it.
  kKeepUnchanged,
};

FileHandle OpenLettingOthersRemove(const PathChar* path);
FileHandle OpenKeepingUnchanged(const PathChar* path);

// Opens an existing file for reading; NoFile() on failure. (Each sharing has
// its own function, so that the launcher image links only the one it uses.)
// kKeepUnchanged never waits for a writer or a device: opening a FIFO or a
// terminal returns at once, and the `regular` of its identity says what it
// is, so that the caller can refuse it before reading.
inline FileHandle OpenForReading(const PathChar* path, ReadSharing sharing) {
  return sharing == ReadSharing::kLetOthersRemove ? OpenLettingOthersRemove(path)
                                                  : OpenKeepingUnchanged(path);
}

// Creates `path`, or empties the file there, open for writing only and
// shared with nobody; NoFile() on failure.
FileHandle CreateReplacingWriteOnly(const PathChar* path);

// Creates a new file at `path`, open for reading and writing; others may
// only delete it (on POSIX they always may). Fails (NoFile()) when anything at all already stands
// under that name, a link included: nothing is ever opened through it.
FileHandle CreateExclusively(const PathChar* path);

// Moves the file position to `offset` from the beginning.
bool SeekTo(FileHandle file, int64_t offset);

// One read of at most `count` bytes at the file position. False on a read
// error or at end of file (nothing read); otherwise `*read` is 1..count.
bool ReadSome(FileHandle file, void* buffer, uint32_t count, uint32_t* read);

// Reads exactly `count` bytes into `buffer`, repeating short reads. False on
// a read error or at end of file; the buffer may then hold part of the data.
// A count of 0 succeeds without reading.
bool ReadExact(FileHandle file, void* buffer, uint32_t count);

// Writes all `count` bytes at the file position; false when that fails.
bool WriteAll(FileHandle file, const void* bytes, uint32_t count);

// The file's size; false when the query fails or the size is negative.
bool QueryFileSize(FileHandle file, int64_t* size);

// Which file an open file or a path is, and enough of its state to tell
// whether it changed: the same device and index name the same file (hard
// links and other spellings of one path included); a different size or time
// means it changed.
struct FileIdentity {
  uint64_t device;  // the volume's serial number, or the device
  uint64_t index;   // the file index, or the inode
  int64_t size;
  int64_t modified;  // last write, in the platform's units
  int64_t changed;   // creation (Windows) or status change (POSIX)
  // A plain file on disk: not a folder, FIFO, pipe, socket or device.
  bool regular;
};

bool QueryFileIdentity(FileHandle file, FileIdentity* identity);

// The identity of what `path` names, without opening it for reading or
// writing (a special file is never opened in a way that could block); false
// when nothing is there.
bool QueryPathIdentity(const PathChar* path, FileIdentity* identity);

inline bool IsSameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.index == b.index;
}

}  // namespace zor
