#include "payload/pe_headers.h"

namespace zor {

namespace {

bool ReadAt(FileHandle file, int64_t offset, unsigned char* buffer, uint32_t count) {
  return SeekTo(file, offset) && ReadExact(file, buffer, count);
}

}  // namespace

bool ReadPeHeaders(FileHandle file, PeHeaders* headers) {
  unsigned char dos[kDosHeaderSize];
  if (!ReadAt(file, 0, dos, sizeof dos) || LoadLittle<uint16_t>(dos) != kDosMagic) return false;
  int64_t newHeader = static_cast<int32_t>(LoadLittle<uint32_t>(dos + kNewHeaderOffsetField));

  // The COFF header follows the signature: read in full, so that a file cut
  // inside it is refused here; its fields are the packer's business.
  unsigned char signature[kPeSignatureSize];
  unsigned char coff[kCoffHeaderSize];
  if (!ReadAt(file, newHeader, signature, sizeof signature) ||
      LoadLittle<uint32_t>(signature) != kPeSignature || !ReadExact(file, coff, sizeof coff)) {
    return false;
  }

  unsigned char magic[kOptionalMagicSize];
  headers->optionalHeader = newHeader + kOptionalHeaderOffset;
  if (!ReadAt(file, headers->optionalHeader, magic, sizeof magic)) return false;
  headers->optionalMagic = LoadLittle<uint16_t>(magic);
  if (headers->optionalMagic != kPe32Magic && headers->optionalMagic != kPe32PlusMagic) {
    return false;
  }

  unsigned char entry[kDirectoryEntrySize];
  int64_t securityEntry =
      headers->optionalHeader + DataDirectoryOffset(IsPe32Plus(*headers), kSecurityDirectoryIndex);
  if (!ReadAt(file, securityEntry, entry, sizeof entry)) return false;
  headers->securityOffset = LoadLittle<uint32_t>(entry);
  return true;
}

}  // namespace zor
