#include "payload/payload_trailer.h"

#include "payload/pe_layout.h"

namespace zor {

namespace {

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
  if (LoadLittle<uint32_t>(magic) != LoadLittle<uint32_t>(kTrailerMagic) ||
      LoadLittle<uint32_t>(magic + 4) != LoadLittle<uint32_t>(kTrailerMagic + 4)) {
    return false;
  }
  trailer->payloadSize = LoadLittle<uint64_t>(bytes + kTrailerSizeOffset);
  for (size_t i = 0; i < kSha256DigestSize; ++i) {
    trailer->digest.bytes[i] = bytes[kTrailerDigestOffset + i];
  }
  return true;
}

}  // namespace zor
