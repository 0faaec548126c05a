#include "pipelined_copy.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "command_input.h"
#include "payload/sha256.h"
#include "runtime/heap_buffer.h"

namespace zor::pack {

namespace {

// Set by tests only.
bool copyThreadDenied = false;
uint32_t copyReadLimit = 0;

// One read of the copy: at most `wanted` bytes, and fewer when a test says so.
bool ReadChunk(FileHandle source, unsigned char* chunk, uint32_t wanted, uint32_t* read) {
  if (copyReadLimit != 0 && wanted > copyReadLimit) wanted = copyReadLimit;
  return ReadSome(source, chunk, wanted, read);
}

// What the reading thread and the second thread share. Chunk i lives in
// buffer i % kPipelineChunks; the reader hands chunks over in order and the
// second thread takes them in order.
class ChunkRing {
 public:
  ChunkRing(const ChunkWork& beside, const unsigned char* buffers)
      : beside_(beside), buffers_(buffers) {}

  // The reader: waits until chunk `index` may be read into its buffer (the
  // hasher is done with the chunk that used it before); false when the hash
  // has failed, and nothing more is worth reading.
  bool WaitForBuffer(uint64_t index) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return hashFailed_ || index - hashed_ < kPipelineChunks; });
    return !hashFailed_;
  }

  // The reader: the next chunk holds `count` bytes, ready to be hashed.
  void Hand(uint32_t count) {
    std::lock_guard<std::mutex> hold(lock_);
    counts_[handed_ % kPipelineChunks] = count;
    ++handed_;
    changed_.notify_all();
  }

  // The reader: nothing more comes; the hasher ends once it has hashed what
  // it was handed.
  void End() {
    std::lock_guard<std::mutex> hold(lock_);
    ended_ = true;
    changed_.notify_all();
  }

  // The reader, after the hasher has ended: every chunk handed was hashed.
  bool AllHashed() {
    std::lock_guard<std::mutex> hold(lock_);
    return !hashFailed_ && hashed_ == handed_;
  }

  // The hasher's thread.
  void HashChunks() {
    for (;;) {
      uint64_t index = 0;
      uint32_t count = 0;
      {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return ended_ || handed_ > hashed_; });
        if (handed_ == hashed_) return;
        index = hashed_;
        count = counts_[index % kPipelineChunks];
      }
      // The buffer is the hasher's to read until hashed_ passes it: the
      // reader reads into it again only then.
      bool hashed =
          beside_(buffers_ + (index % kPipelineChunks) * size_t{kPipelineChunkSize}, count);
      std::lock_guard<std::mutex> hold(lock_);
      if (!hashed) {
        hashFailed_ = true;
        changed_.notify_all();
        return;
      }
      ++hashed_;
      changed_.notify_all();
    }
  }

 private:
  const ChunkWork& beside_;
  const unsigned char* const buffers_;
  std::mutex lock_;
  std::condition_variable changed_;
  uint32_t counts_[kPipelineChunks] = {};
  uint64_t handed_ = 0;
  uint64_t hashed_ = 0;
  bool ended_ = false;
  bool hashFailed_ = false;
};

// The hasher's thread, ended and joined on every way out of the copy, so
// that it never outlives the buffers and the hash it uses.
class HasherThread {
 public:
  explicit HasherThread(ChunkRing* ring) : ring_(ring) {
    // Only when the system has no thread left to give; the copy then runs
    // on the calling thread alone.
    if (copyThreadDenied) return;
    try {
      thread_ = std::thread(&ChunkRing::HashChunks, ring);
    } catch (const std::system_error&) {
    }
  }
  ~HasherThread() { Join(); }
  HasherThread(const HasherThread&) = delete;
  HasherThread& operator=(const HasherThread&) = delete;

  bool Started() const { return thread_.joinable(); }

  void Join() {
    if (!thread_.joinable()) return;
    ring_->End();
    thread_.join();
  }

 private:
  ChunkRing* ring_;
  std::thread thread_;
};

}  // namespace

void DenyCopyThreadForTesting(bool deny) {
  copyThreadDenied = deny;
}

void LimitCopyReadsForTesting(uint32_t limit) {
  copyReadLimit = limit;
}

bool PipelineRange(FileHandle source, uint64_t offset, uint64_t size, const ChunkWork& here,
                   const ChunkWork& beside) {
  HeapBuffer buffers(size_t{kPipelineChunks} * kPipelineChunkSize);
  if (buffers.Get() == nullptr) return false;
  // An offset beyond the signed range is a seek that cannot succeed.
  if (offset > static_cast<uint64_t>(INT64_MAX) || !SeekTo(source, static_cast<int64_t>(offset))) {
    return false;
  }
  // Compared with what the checks read, not kept.
  StreamedReads streamed;
  ChunkRing ring(beside, buffers.Bytes());
  HasherThread hasher(&ring);
  bool alone = !hasher.Started();
  uint64_t remaining = size;
  for (uint64_t index = 0; remaining > 0; ++index) {
    unsigned char* chunk = buffers.Bytes() + (index % kPipelineChunks) * size_t{kPipelineChunkSize};
    uint32_t wanted =
        remaining < kPipelineChunkSize ? static_cast<uint32_t>(remaining) : kPipelineChunkSize;
    uint32_t read = 0;
    if (!(alone || ring.WaitForBuffer(index)) || !ReadChunk(source, chunk, wanted, &read)) {
      return false;
    }
    if (alone) {
      if (!beside(chunk, read)) return false;
    } else {
      ring.Hand(read);
    }
    if (!here(chunk, read)) return false;
    remaining -= read;
  }
  if (alone) return true;
  hasher.Join();
  return ring.AllHashed();
}

bool CopyAndDigest(FileHandle source, uint64_t offset, uint64_t size, FileHandle target,
                   Sha256Digest* digest) {
  ScopedSha256 hash(BeginSha256());
  if (!hash.IsValid()) return false;
  uint64_t sinceWriteBack = 0;
  ChunkWork write = [&](const unsigned char* chunk, uint32_t count) {
    if (!WriteAll(target, chunk, count)) return false;
    sinceWriteBack += count;
    if (sinceWriteBack >= kWriteBackSpan) {
      StartWriteBack(target);
      sinceWriteBack = 0;
    }
    return true;
  };
  ChunkWork update = [&](const unsigned char* chunk, uint32_t count) {
    return UpdateSha256(hash.Get(), chunk, count);
  };
  return PipelineRange(source, offset, size, write, update) && FinishSha256(hash.Get(), digest);
}

}  // namespace zor::pack
