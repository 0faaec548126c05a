// The packer's copy of a payload: read once, hashed and written at the same
// time. Hashing and writing each cost about as much as the other, so done
// one after the other on one core they take twice the time of the hash
// alone; here the calling thread reads and writes while a second thread
// hashes. (The launcher keeps its single-threaded DigestRange.)
#pragma once

#include <stdint.h>

#include <functional>

#include "common/sha256_digest.h"
#include "runtime/file.h"

namespace zor::pack {

// The chunks in flight and their size: memory stays at their product,
// whatever the payload's size. With a few chunks, neither thread waits for
// the other while the two run at the same speed on average.
constexpr uint32_t kPipelineChunks = 4;
constexpr uint32_t kPipelineChunkSize = 0x40000;

// Every this many bytes the copy has the system start writing what it
// wrote to the disk, so that the flush before the output is published finds
// little left to wait for, instead of all of it.
constexpr uint64_t kWriteBackSpan = 8u << 20;

// Work on one chunk of the range: its bytes and their count; false stops
// the pipeline.
using ChunkWork = std::function<bool(const unsigned char* chunk, uint32_t count)>;

// Reads `size` bytes of `source` from `offset`, each once, into one of
// kPipelineChunks buffers, in order; `here` runs on each chunk on the calling
// thread while `beside` runs on that same chunk on a second thread (both
// on the calling thread, one after the other, when no thread can be had).
// Each sees every chunk once and in order. A buffer is read into again only
// when both are done with it. False when a read fails, the source ends
// early or either work returns false.
bool PipelineRange(FileHandle source, uint64_t offset, uint64_t size, const ChunkWork& here,
                   const ChunkWork& beside);

// What DigestRange does with a copy target, with the same bytes written and
// the same digest: `size` bytes of `source` from `offset` are read, each
// once, into one of kPipelineChunks buffers; the calling thread writes each
// chunk to `target` at its current position while a second thread hashes
// that same buffer. A buffer is read into again only when both are done
// with it, so the bytes written are the bytes hashed even if the source
// changes meanwhile.
//
// On false, the target may hold part of the range (removing it is the
// caller's job) and the last failure is that of the read or the write that
// failed (none when the hash failed or the source ended early).
bool CopyAndDigest(FileHandle source, uint64_t offset, uint64_t size, FileHandle target,
                   Sha256Digest* digest);

// For tests only: from now on the copy runs as it does when the system has
// no second thread to give (`deny`), on the calling thread alone.
void DenyCopyThreadForTesting(bool deny);

// For tests only: from now on no read of the copy returns more than `limit`
// bytes (0: no limit), as a network or FUSE file system may return fewer
// bytes than asked in the middle of a file.
void LimitCopyReadsForTesting(uint32_t limit);

// Starts writing the data written to `file` so far to the disk, without
// waiting for it (one implementation per platform; nothing where the system
// cannot).
void StartWriteBack(FileHandle file);

}  // namespace zor::pack
