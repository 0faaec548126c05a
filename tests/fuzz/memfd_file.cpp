#include "memfd_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace zor::fuzz {

MemfdFile::MemfdFile() : fd_(memfd_create("zor-fuzz", MFD_CLOEXEC)) {
  if (fd_ < 0) std::abort();
}

MemfdFile::~MemfdFile() {
  close(fd_);
}

void MemfdFile::Fill(const uint8_t* data, size_t size) {
  if (ftruncate(fd_, 0) != 0 || pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size) ||
      lseek(fd_, 0, SEEK_SET) != 0) {
    std::abort();
  }
}

std::string MemfdFile::Contents() const {
  off_t size = lseek(fd_, 0, SEEK_END);
  std::string contents(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size < 0 || pread(fd_, &contents[0], contents.size(), 0) != size) std::abort();
  return contents;
}

}  // namespace zor::fuzz
