#include <windows.h>

#include <bcrypt.h>
#include <gtest/gtest.h>

#include "support/file_bytes.h"

namespace zor::test {

Sha256Digest Sha256Of(const Bytes& bytes) {
  Sha256Digest digest = {};
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 &&
            BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0 &&
            BCryptHashData(hash, const_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(bytes.size()),
                           0) >= 0 &&
            BCryptFinishHash(hash, digest.bytes, sizeof digest.bytes, 0) >= 0;
  if (hash != nullptr) BCryptDestroyHash(hash);
  if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!ok) ADD_FAILURE() << "SHA-256 failed";
  return digest;
}

}  // namespace zor::test
