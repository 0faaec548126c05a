// The 48 bytes that follow the embedded tool in a launcher file:
//   offset  0, 8 bytes: payload size, unsigned little-endian
//   offset  8, 32 bytes: SHA-256 of the payload
//   offset 40, 8 bytes: the magic "ZORFW002", no terminator
// When the file is signed, the certificate table starts right after them.
// This header is the one definition of that layout: the launcher reads it,
// the packer writes it, the tests forge it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/payload_location.h"
#include "common/sha256_digest.h"

namespace zor {

constexpr size_t kTrailerSize = 48;
constexpr size_t kTrailerSizeOffset = 0;
constexpr size_t kTrailerDigestOffset = 8;
constexpr size_t kTrailerMagicOffset = 40;
constexpr unsigned char kTrailerMagic[8] = {'Z', 'O', 'R', 'F', 'W', '0', '0', '2'};

struct PayloadTrailer {
  uint64_t payloadSize;
  Sha256Digest digest;
};

// Writes the 48 trailer bytes for `trailer` into `out`.
void EncodeTrailer(const PayloadTrailer& trailer, unsigned char out[kTrailerSize]);

// True when `bytes` end in the magic; then fills `trailer`. The size is not
// checked here: that needs the trailer's place in the file.
bool DecodeTrailer(const unsigned char bytes[kTrailerSize], PayloadTrailer* trailer);

// True when the security directory's table offset names a certificate table
// inside a file of `fileSize` bytes; an offset of 0 or beyond the end does
// not count.
inline bool HasCertificateTable(uint32_t tableOffset, uint64_t fileSize) {
  return tableOffset != 0 && tableOffset <= fileSize;
}

// Where the region that the trailer closes ends: at the certificate table
// when there is one, otherwise at the end of the file.
inline uint64_t CoveredEnd(uint32_t tableOffset, uint64_t fileSize) {
  return HasCertificateTable(tableOffset, fileSize) ? tableOffset : fileSize;
}

// The payload that `trailer`, found at `trailerOffset`, describes: it lies
// directly in front of the trailer, and its size must be non-zero and fit
// there. False when it does not.
inline bool PayloadBeforeTrailer(const PayloadTrailer& trailer, uint64_t trailerOffset,
                                 PayloadLocation* location) {
  if (trailer.payloadSize == 0 || trailer.payloadSize > trailerOffset) return false;
  location->offset = trailerOffset - trailer.payloadSize;
  location->size = trailer.payloadSize;
  location->digest = trailer.digest;
  return true;
}

}  // namespace zor
