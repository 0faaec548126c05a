// A file that lives in memory but has a real descriptor (memfd_create): what
// the inspect target gives zorpack as its standard output and error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zor::fuzz {

class MemfdFile {
 public:
  MemfdFile();
  ~MemfdFile();
  MemfdFile(const MemfdFile&) = delete;
  MemfdFile& operator=(const MemfdFile&) = delete;

  int Descriptor() const { return fd_; }
  // Replaces the contents and rewinds; aborts when that fails, as a broken
  // test bench must not pass for a quiet product.
  void Fill(const uint8_t* data, size_t size);
  // Everything written so far.
  std::string Contents() const;

 private:
  int fd_;
};

}  // namespace zor::fuzz
