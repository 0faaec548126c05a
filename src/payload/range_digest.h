#pragma once

#include <stdint.h>

#include "common/sha256_digest.h"
#include "runtime/file.h"

namespace zor {

// The range is moved in chunks of this size: one read, one hash update and at
// most one write per chunk.
constexpr uint32_t kTransferChunkSize = 0x20000;

// Hashes `size` bytes of `source` from `offset` with the platform's SHA-256
// and, unless `copyTarget` is NoFile() (what an empty UniqueFile holds),
// writes the same bytes to
// `copyTarget` at its current position (the target is never seeked).
//
// True when the whole range was read, hashed (and written) and the digest is
// in `digestOut`. On false `digestOut` is not to be used, and the target may
// hold part of the range: removing it is the caller's job. Memory use is one
// fixed buffer plus the hash object, whatever the size.
bool DigestRange(FileHandle source, uint64_t offset, uint64_t size, Sha256Digest* digestOut,
                 FileHandle copyTarget);

}  // namespace zor
