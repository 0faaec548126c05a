#pragma once

#include <stddef.h>

namespace zor {

constexpr size_t kSha256DigestSize = 32;

// The digest bytes in the order the hash function emits them.
struct Sha256Digest {
  unsigned char bytes[kSha256DigestSize];
};

inline bool DigestsEqual(const Sha256Digest& a, const Sha256Digest& b) {
  for (size_t i = 0; i < kSha256DigestSize; ++i) {
    if (a.bytes[i] != b.bytes[i]) return false;
  }
  return true;
}

}  // namespace zor
