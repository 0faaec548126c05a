#include "payload/payload_trailer.h"

#include "payload/pe_layout.h"

namespace zor {

namespace {

uint64_t LoadLittle64(const unsigned char* bytes) {
  return static_cast<uint64_t>(LoadLittle32(bytes)) | static_cast<uint64_t>(LoadLittle32(bytes + 4))
                                                          << 32;
}

void StoreLittle64(uint64_t value, unsigned char* bytes) {
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

void EncodeTrailer(const PayloadTrailer& trailer, unsigned char out[kTrailerSize]) {
  StoreLittle64(trailer.payloadSize, out + kTrailerSizeOffset);
  for (size_t i = 0; i < kSha256DigestSize; ++i) {
    out[kTrailerDigestOffset + i] = trailer.digest.bytes[i];
  }
  for (size_t i = 0; i < sizeof(kTrailerMagic); ++i)
    out[kTrailerMagicOffset + i] = kTrailerMagic[i];
}

bool DecodeTrailer(const unsigned char bytes[kTrailerSize], PayloadTrailer* trailer) {
  // Compared as two words, as the magic is defined.
  const unsigned char* magic = bytes + kTrailerMagicOffset;
  if (LoadLittle32(magic) != LoadLittle32(kTrailerMagic) ||
      LoadLittle32(magic + 4) != LoadLittle32(kTrailerMagic + 4)) {
    return false;
  }
  trailer->payloadSize = LoadLittle64(bytes + kTrailerSizeOffset);
  for (size_t i = 0; i < kSha256DigestSize; ++i) {
    trailer->digest.bytes[i] = bytes[kTrailerDigestOffset + i];
  }
  return true;
}

}  // namespace zor
