#include "payload/payload_locator.h"

#include <stdint.h>

#include "payload/file_io.h"
#include "payload/payload_trailer.h"

namespace zor {

namespace {

constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kDosMagicOffset = 0;
constexpr uint16_t kDosMagic = 0x5A4D;  // "MZ"
constexpr uint32_t kNewHeaderOffsetField = 60;
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint32_t kCoffHeaderSize = 20;
constexpr int64_t kOptionalHeaderOffset = 24;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr int64_t kPe32SecurityDirectory = 128;
constexpr int64_t kPe32PlusSecurityDirectory = 144;

uint16_t Load16(const unsigned char* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t Load32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Offset of the PE signature, from a DOS header with the right magic.
bool ReadNewHeaderOffset(HANDLE file, int64_t* newHeader) {
  unsigned char dos[kDosHeaderSize];
  if (!SeekTo(file, 0) || !ReadExact(file, dos, sizeof dos)) return false;
  if (Load16(dos + kDosMagicOffset) != kDosMagic) return false;
  *newHeader = static_cast<int32_t>(Load32(dos + kNewHeaderOffsetField));
  return true;
}

bool CheckPeSignature(HANDLE file, int64_t newHeader) {
  unsigned char signature[4];
  unsigned char coff[kCoffHeaderSize];
  if (!SeekTo(file, newHeader) || !ReadExact(file, signature, sizeof signature)) return false;
  if (Load32(signature) != kPeSignature) return false;
  return ReadExact(file, coff, sizeof coff);
}

// Where the security directory entry sits, chosen by the optional header's
// magic (PE32 or PE32+).
bool ReadSecurityDirectoryOffset(HANDLE file, int64_t newHeader, int64_t* entryOffset) {
  unsigned char magic[2];
  int64_t optionalHeader = newHeader + kOptionalHeaderOffset;
  if (!SeekTo(file, optionalHeader) || !ReadExact(file, magic, sizeof magic)) return false;
  switch (Load16(magic)) {
    case kPe32Magic:
      *entryOffset = optionalHeader + kPe32SecurityDirectory;
      return true;
    case kPe32PlusMagic:
      *entryOffset = optionalHeader + kPe32PlusSecurityDirectory;
      return true;
    default:
      return false;
  }
}

// The end of the region that the trailer closes: the certificate table's
// start when it lies inside the file, otherwise the end of the file.
bool FindCoveredEnd(HANDLE file, int64_t entryOffset, uint64_t* end) {
  unsigned char entry[8];
  if (!SeekTo(file, entryOffset) || !ReadExact(file, entry, sizeof entry)) return false;
  uint64_t tableOffset = Load32(entry);
  int64_t fileSize = 0;
  if (!QueryFileSize(file, &fileSize)) return false;
  uint64_t size = static_cast<uint64_t>(fileSize);
  *end = (tableOffset != 0 && tableOffset <= size) ? tableOffset : size;
  return true;
}

}  // namespace

bool ReadPayloadLocation(HANDLE file, PayloadLocation* location) {
  int64_t newHeader = 0;
  int64_t entryOffset = 0;
  uint64_t end = 0;
  if (!ReadNewHeaderOffset(file, &newHeader) || !CheckPeSignature(file, newHeader) ||
      !ReadSecurityDirectoryOffset(file, newHeader, &entryOffset) ||
      !FindCoveredEnd(file, entryOffset, &end)) {
    return false;
  }
  if (end < kTrailerSize) return false;

  uint64_t trailerOffset = end - kTrailerSize;
  unsigned char bytes[kTrailerSize] = {};
  PayloadTrailer trailer;
  if (!SeekTo(file, static_cast<int64_t>(trailerOffset)) || !ReadExact(file, bytes, sizeof bytes) ||
      !DecodeTrailer(bytes, &trailer)) {
    return false;
  }
  if (trailer.payloadSize == 0 || trailer.payloadSize > trailerOffset) return false;

  location->offset = trailerOffset - trailer.payloadSize;
  location->size = trailer.payloadSize;
  location->digest = trailer.digest;
  return true;
}

}  // namespace zor
