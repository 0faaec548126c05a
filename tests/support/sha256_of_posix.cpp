#include <openssl/sha.h>

#include "support/file_bytes.h"

namespace zor::test {

Sha256Digest Sha256Of(const Bytes& bytes) {
  Sha256Digest digest = {};
  SHA256(bytes.data(), bytes.size(), digest.bytes);
  return digest;
}

}  // namespace zor::test
