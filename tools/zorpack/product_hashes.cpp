#include "product_hashes.h"

#include "payload/sha256.h"
#include "pipelined_copy.h"

namespace zor::pack {

namespace {

// One SHA-256 and one SHA-512 in progress, each fed by one of the two
// threads: SHA-512 costs about twice what SHA-256 does, so each thread gets
// one of each (the file's SHA-512 and the range's SHA-256, or the other two)
// and the two finish together.
struct HashPair {
  ScopedSha256 sha256{BeginSha256()};
  ScopedSha512 sha512{BeginSha512()};

  bool IsValid() const { return sha256.IsValid() && sha512.IsValid(); }
};

// The part of a chunk at file offset `at`, `count` bytes long, that lies in
// [begin, end): its start within the chunk and its length (0 when none).
struct Overlap {
  uint32_t start;
  uint32_t count;
};

Overlap OverlapOf(uint64_t at, uint32_t count, uint64_t begin, uint64_t end) {
  uint64_t from = at > begin ? at : begin;
  uint64_t to = at + count < end ? at + count : end;
  if (from >= to) return {0, 0};
  return {static_cast<uint32_t>(from - at), static_cast<uint32_t>(to - from)};
}

}  // namespace

bool HashFileAndRange(FileHandle file, uint64_t size, uint64_t rangeOffset, uint64_t rangeSize,
                      FileAndRangeHashes* hashes) {
  HashPair whole;
  HashPair range;
  if (!whole.IsValid() || !range.IsValid()) return false;
  uint64_t rangeEnd = rangeOffset + rangeSize;
  // Each work keeps its own position: the two run on different threads.
  uint64_t hereAt = 0;
  uint64_t besideAt = 0;
  ChunkWork here = [&](const unsigned char* chunk, uint32_t count) {
    Overlap part = OverlapOf(hereAt, count, rangeOffset, rangeEnd);
    hereAt += count;
    return UpdateSha512(whole.sha512.Get(), chunk, count) &&
           UpdateSha256(range.sha256.Get(), chunk + part.start, part.count);
  };
  ChunkWork beside = [&](const unsigned char* chunk, uint32_t count) {
    Overlap part = OverlapOf(besideAt, count, rangeOffset, rangeEnd);
    besideAt += count;
    return UpdateSha256(whole.sha256.Get(), chunk, count) &&
           UpdateSha512(range.sha512.Get(), chunk + part.start, part.count);
  };
  return PipelineRange(file, 0, size, here, beside) &&
         FinishSha256(whole.sha256.Get(), &hashes->file.sha256) &&
         FinishSha512(whole.sha512.Get(), &hashes->file.sha512) &&
         FinishSha256(range.sha256.Get(), &hashes->range.sha256) &&
         FinishSha512(range.sha512.Get(), &hashes->range.sha512);
}

bool StreamHashes::Update(const unsigned char* bytes, uint32_t count) {
  return sha256_.IsValid() && sha512_.IsValid() && UpdateSha256(sha256_.Get(), bytes, count) &&
         UpdateSha512(sha512_.Get(), bytes, count);
}

bool StreamHashes::Finish(Hashes* hashes) {
  return sha256_.IsValid() && sha512_.IsValid() && FinishSha256(sha256_.Get(), &hashes->sha256) &&
         FinishSha512(sha512_.Get(), &hashes->sha512);
}

}  // namespace zor::pack
