#include "payload/payload_locator.h"

#include <stdint.h>

#include "payload/file_io.h"
#include "payload/payload_trailer.h"
#include "payload/pe_layout.h"

namespace zor {

namespace {

// Offset of the PE signature, from a DOS header with the right magic.
bool ReadNewHeaderOffset(FileHandle file, int64_t* newHeader) {
  unsigned char dos[kDosHeaderSize];
  if (!SeekTo(file, 0) || !ReadExact(file, dos, sizeof dos)) return false;
  if (LoadLittle16(dos) != kDosMagic) return false;
  *newHeader = static_cast<int32_t>(LoadLittle32(dos + kNewHeaderOffsetField));
  return true;
}

bool CheckPeSignature(FileHandle file, int64_t newHeader) {
  unsigned char signature[kPeSignatureSize];
  unsigned char coff[kCoffHeaderSize];
  if (!SeekTo(file, newHeader) || !ReadExact(file, signature, sizeof signature)) return false;
  if (LoadLittle32(signature) != kPeSignature) return false;
  return ReadExact(file, coff, sizeof coff);
}

// Where the security directory entry sits, chosen by the optional header's
// magic (PE32 or PE32+).
bool ReadSecurityDirectoryOffset(FileHandle file, int64_t newHeader, int64_t* entryOffset) {
  unsigned char magic[kOptionalMagicSize];
  int64_t optionalHeader = newHeader + kOptionalHeaderOffset;
  if (!SeekTo(file, optionalHeader) || !ReadExact(file, magic, sizeof magic)) return false;
  switch (LoadLittle16(magic)) {
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
bool FindCoveredEnd(FileHandle file, int64_t entryOffset, uint64_t* end) {
  unsigned char entry[kDirectoryEntrySize];
  if (!SeekTo(file, entryOffset) || !ReadExact(file, entry, sizeof entry)) return false;
  uint64_t tableOffset = LoadLittle32(entry);
  int64_t fileSize = 0;
  if (!QueryFileSize(file, &fileSize)) return false;
  uint64_t size = static_cast<uint64_t>(fileSize);
  *end = (tableOffset != 0 && tableOffset <= size) ? tableOffset : size;
  return true;
}

}  // namespace

bool ReadPayloadLocation(FileHandle file, PayloadLocation* location) {
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
