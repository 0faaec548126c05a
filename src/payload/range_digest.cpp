#include "payload/range_digest.h"

#include "payload/sha256.h"
#include "runtime/heap_buffer.h"

namespace zor {

namespace {

// Streams the range through the hash (and into the target); the source is
// already positioned at the range's start.
bool HashChunks(FileHandle source, uint64_t size, const HeapBuffer& buffer, Sha256Context* hash,
                FileHandle copyTarget, Sha256Digest* digestOut) {
  uint64_t remaining = size;
  while (remaining > 0) {
    uint32_t chunk =
        remaining < kTransferChunkSize ? static_cast<uint32_t>(remaining) : kTransferChunkSize;
    uint32_t read = 0;
    if (!ReadSome(source, buffer.Get(), chunk, &read)) return false;
    if (!UpdateSha256(hash, buffer.Get(), read)) return false;
    if (copyTarget != NoFile() && !WriteAll(copyTarget, buffer.Get(), read)) return false;
    remaining -= read;
  }
  return FinishSha256(hash, digestOut);
}

}  // namespace

bool DigestRange(FileHandle source, uint64_t offset, uint64_t size, Sha256Digest* digestOut,
                 FileHandle copyTarget) {
  HeapBuffer buffer(kTransferChunkSize);
  // An offset beyond the signed range is a seek that cannot succeed.
  if (offset > static_cast<uint64_t>(INT64_MAX) || !SeekTo(source, static_cast<int64_t>(offset))) {
    return false;
  }
  ScopedSha256 hash(BeginSha256());
  if (!hash.IsValid()) return false;
  return HashChunks(source, size, buffer, hash.Get(), copyTarget, digestOut);
}

}  // namespace zor
