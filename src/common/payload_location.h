#pragma once

#include <stdint.h>

#include "common/sha256_digest.h"

namespace zor {

// Where the embedded tool lies in the launcher file, and what it must hash to.
struct PayloadLocation {
  uint64_t offset;
  uint64_t size;
  Sha256Digest digest;
};

}  // namespace zor
