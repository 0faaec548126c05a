// The hashes an SBOM carries: SHA-256 and SHA-512 of a whole file and of a
// range in it (the payload), all from one read of the file, the work split
// between the reading thread and a second one.
#pragma once

#include <stdint.h>

#include "common/sha256_digest.h"
#include "payload/sha256.h"
#include "runtime/file.h"
#include "sha512.h"

namespace zor::pack {

struct Hashes {
  Sha256Digest sha256;
  Sha512Digest sha512;
};

struct FileAndRangeHashes {
  Hashes file;
  Hashes range;
};

// Reads the first `size` bytes of `file` once and hashes them, and within
// them the `rangeSize` bytes from `rangeOffset`. False when the file cannot
// be read or ends early, or a hash fails.
bool HashFileAndRange(FileHandle file, uint64_t size, uint64_t rangeOffset, uint64_t rangeSize,
                      FileAndRangeHashes* hashes);

// SHA-256 and SHA-512 of bytes handed over in order, on the caller's
// thread: for a small file read by some other pass (LAUNCHER, hashed in
// verify's comparison).
class StreamHashes {
 public:
  // False when the platform's hash fails (then Finish fails too).
  bool Update(const unsigned char* bytes, uint32_t count);
  bool Finish(Hashes* hashes);

 private:
  ScopedSha256 sha256_{BeginSha256()};
  ScopedSha512 sha512_{BeginSha512()};
};

}  // namespace zor::pack
