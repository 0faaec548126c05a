#include "layout_reference.h"

#include <cstring>

namespace zor::fuzz {

namespace {

// A view of the file that answers only for fields lying wholly inside it:
// a field that does not fit is a failed read, as it is for the launcher.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Fits(int64_t at, uint64_t width) const {
    return at >= 0 && static_cast<uint64_t>(at) <= size_ && width <= size_ - at;
  }
  bool Little(int64_t at, unsigned width, uint64_t* value) const {
    if (!Fits(at, width)) return false;
    *value = 0;
    for (unsigned i = width; i > 0; --i) *value = *value << 8 | data_[at + i - 1];
    return true;
  }
  const uint8_t* At(uint64_t at) const { return data_ + at; }
  uint64_t Size() const { return size_; }

 private:
  const uint8_t* data_;
  uint64_t size_;
};

constexpr uint64_t kTrailer = 48;

}  // namespace

bool ReferenceLocate(const uint8_t* data, size_t dataSize, ReferenceLocation* location) {
  Bytes file(data, dataSize);
  uint64_t mz = 0;
  uint64_t lfanewField = 0;
  // The DOS header is read whole: all 64 bytes must be there.
  if (!file.Fits(0, 64) || !file.Little(0, 2, &mz) || mz != 0x5A4D ||
      !file.Little(60, 4, &lfanewField)) {
    return false;
  }
  // e_lfanew is signed: a negative one points before the file.
  int64_t pe = static_cast<int32_t>(static_cast<uint32_t>(lfanewField));
  uint64_t signature = 0;
  uint64_t magic = 0;
  // The signature and the whole 20-byte COFF header, then the optional
  // header's magic right behind them.
  if (!file.Little(pe, 4, &signature) || signature != 0x00004550 || !file.Fits(pe + 4, 20) ||
      !file.Little(pe + 24, 2, &magic)) {
    return false;
  }
  int64_t securityEntry;
  if (magic == 0x10B) {
    securityEntry = pe + 24 + 128;
  } else if (magic == 0x20B) {
    securityEntry = pe + 24 + 144;
  } else {
    return false;
  }
  uint64_t tableOffset = 0;
  // The entry is read as offset and size together, though only the offset counts.
  if (!file.Fits(securityEntry, 8) || !file.Little(securityEntry, 4, &tableOffset)) return false;

  uint64_t end = tableOffset != 0 && tableOffset <= file.Size() ? tableOffset : file.Size();
  if (end < kTrailer) return false;
  const uint8_t* trailer = file.At(end - kTrailer);
  if (std::memcmp(trailer + 40, "ZORFW002", 8) != 0) return false;
  uint64_t size = 0;
  for (int i = 7; i >= 0; --i) size = size << 8 | trailer[i];
  if (size == 0 || size > end - kTrailer) return false;
  location->offset = end - kTrailer - size;
  location->size = size;
  std::memcpy(location->digest, trailer + 8, 32);
  return true;
}

}  // namespace zor::fuzz
