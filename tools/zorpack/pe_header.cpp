#include "pe_header.h"

#include "payload/file_io.h"

namespace zor::pack {

namespace {

constexpr uint32_t kDosHeaderSize = 64;
constexpr uint16_t kDosMagic = 0x5A4D;  // "MZ"
constexpr uint32_t kNewHeaderOffsetField = 60;
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
// Signature (4 bytes) and COFF file header (20 bytes) precede the optional
// header; its first two bytes are its magic.
constexpr int64_t kOptionalHeaderOffset = 24;
constexpr uint32_t kOptionalMagicSize = 2;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr int64_t kPe32SecurityDirectory = 128;
constexpr int64_t kPe32PlusSecurityDirectory = 144;
constexpr uint32_t kDirectoryEntrySize = 8;

uint16_t Load16(const unsigned char* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t Load32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Reads `count` bytes at `offset`, refusing ranges that leave the file
// rather than relying on a short read.
bool ReadAt(HANDLE file, int64_t fileSize, int64_t offset, void* buffer, uint32_t count) {
  if (offset < 0 || offset > fileSize || fileSize - offset < count) return false;
  return SeekTo(file, offset) && ReadExact(file, buffer, count);
}

}  // namespace

bool ReadPeHeaderFacts(HANDLE file, PeHeaderFacts* facts) {
  int64_t fileSize = 0;
  if (!QueryFileSize(file, &fileSize)) return false;

  unsigned char dos[kDosHeaderSize];
  if (!ReadAt(file, fileSize, 0, dos, sizeof dos) || Load16(dos) != kDosMagic) return false;
  int64_t newHeader = static_cast<int32_t>(Load32(dos + kNewHeaderOffsetField));

  unsigned char signature[4];
  if (!ReadAt(file, fileSize, newHeader, signature, sizeof signature) ||
      Load32(signature) != kPeSignature) {
    return false;
  }

  unsigned char magic[kOptionalMagicSize];
  int64_t optionalHeader = newHeader + kOptionalHeaderOffset;
  if (!ReadAt(file, fileSize, optionalHeader, magic, sizeof magic)) return false;
  int64_t entryOffset = 0;
  switch (Load16(magic)) {
    case kPe32Magic:
      entryOffset = optionalHeader + kPe32SecurityDirectory;
      break;
    case kPe32PlusMagic:
      entryOffset = optionalHeader + kPe32PlusSecurityDirectory;
      break;
    default:
      return false;
  }

  unsigned char entry[kDirectoryEntrySize];
  if (!ReadAt(file, fileSize, entryOffset, entry, sizeof entry)) return false;
  facts->securityOffset = Load32(entry);
  facts->securitySize = Load32(entry + 4);
  return true;
}

}  // namespace zor::pack
