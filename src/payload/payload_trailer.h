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

}  // namespace zor
