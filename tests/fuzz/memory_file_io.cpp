#include "memory_file_io.h"

#include <cstring>
#include <memory>

#include "fuzz_failure.h"

namespace zor {

namespace {

struct ServedFile {
  std::unique_ptr<uint8_t[]> bytes;
  uint64_t size = 0;
  uint64_t position = 0;
};

ServedFile& Served(FileHandle file) {
  static ServedFile served;
  if (file != fuzz::kServedFile) fuzz::Failure("the product used a file it was not given");
  return served;
}

}  // namespace

void fuzz::ServeFile(const uint8_t* data, size_t size) {
  ServedFile& served = Served(kServedFile);
  // Exactly `size` bytes, so that AddressSanitizer sees a read past the end.
  served.bytes.reset(new uint8_t[size]);
  if (size > 0) std::memcpy(served.bytes.get(), data, size);
  served.size = size;
  served.position = 0;
}

bool SeekTo(FileHandle file, int64_t offset) {
  if (offset < 0) return false;
  Served(file).position = static_cast<uint64_t>(offset);
  return true;
}

bool ReadSome(FileHandle file, void* buffer, uint32_t count, uint32_t* read) {
  ServedFile& served = Served(file);
  if (count == 0 || served.position >= served.size) return false;
  uint64_t left = served.size - served.position;
  *read = left < count ? static_cast<uint32_t>(left) : count;
  std::memcpy(buffer, served.bytes.get() + served.position, *read);
  served.position += *read;
  return true;
}

bool WriteAll(FileHandle, const void*, uint32_t) {
  fuzz::Failure("the product wrote to the file it was reading");
}

bool QueryFileSize(FileHandle file, int64_t* size) {
  *size = static_cast<int64_t>(Served(file).size);
  return true;
}

}  // namespace zor
