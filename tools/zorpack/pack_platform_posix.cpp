#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pack_platform.h"

namespace zor::pack {

namespace {

// rw for everyone, narrowed by the user's umask, like any new file.
constexpr mode_t kNewFileMode = 0666;

}  // namespace

PathKind KindOfPath(const std::string& path) {
  struct stat facts;
  if (stat(path.c_str(), &facts) != 0) return PathKind::kMissing;
  return S_ISDIR(facts.st_mode) ? PathKind::kFolder : PathKind::kFile;
}

bool IsPathSeparator(char c) {
  return c == '/';
}

bool IsOpenFile(FileHandle file) {
  return file >= 0;
}

void CloseFile(FileHandle file) {
  close(file);
}

FileHandle OpenForReading(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

FileHandle CreateForWriting(const std::string& path) {
  return open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode);
}

bool FlushFile(FileHandle file) {
  return fsync(file) == 0;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path) {
  unlink(path.c_str());
}

bool IsSameFile(FileHandle file, const std::string& path) {
  struct stat a;
  struct stat b;
  if (fstat(file, &a) != 0 || stat(path.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(getpid());
}

std::string LastFailureText() {
  return errno == 0 ? std::string() : std::string(strerror(errno));
}

void WriteText(FileHandle stream, const std::string& text) {
  if (!text.empty()) WriteAll(stream, text.data(), static_cast<uint32_t>(text.size()));
}

}  // namespace zor::pack
