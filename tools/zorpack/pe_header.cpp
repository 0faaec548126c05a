#include "pe_header.h"

#include "payload/file_io.h"
#include "payload/pe_layout.h"

namespace zor::pack {

namespace {

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
  if (!ReadAt(file, fileSize, 0, dos, sizeof dos) || LoadLittle16(dos) != kDosMagic) return false;
  int64_t newHeader = static_cast<int32_t>(LoadLittle32(dos + kNewHeaderOffsetField));

  unsigned char signature[kPeSignatureSize];
  if (!ReadAt(file, fileSize, newHeader, signature, sizeof signature) ||
      LoadLittle32(signature) != kPeSignature) {
    return false;
  }

  unsigned char magic[kOptionalMagicSize];
  int64_t optionalHeader = newHeader + kOptionalHeaderOffset;
  if (!ReadAt(file, fileSize, optionalHeader, magic, sizeof magic)) return false;
  int64_t entryOffset = 0;
  switch (LoadLittle16(magic)) {
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
  facts->securityOffset = LoadLittle32(entry);
  facts->securitySize = LoadLittle32(entry + 4);
  return true;
}

}  // namespace zor::pack
