// The hashes an SBOM carries: SHA-256 and SHA-512 of a whole file and of a
// range in it (the payload), all from one read of the file, the work split
// between the reading thread and a second one.
#pragma once

#include <stdint.h>

#include "common/sha256_digest.h"
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

}  // namespace zor::pack
