#include "payload/range_digest.h"

// windows.h comes first: bcrypt.h depends on its types.
#include <windows.h>

#include <bcrypt.h>

#include "payload/file_io.h"
#include "runtime/heap_buffer.h"
#include "runtime/unique_handle.h"

namespace zor {

namespace {

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

void CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm) {
  BCryptCloseAlgorithmProvider(algorithm, 0);
}

void DestroyHash(BCRYPT_HASH_HANDLE hash) {
  BCryptDestroyHash(hash);
}

using ScopedAlgorithm = UniqueResource<BCRYPT_ALG_HANDLE, CloseAlgorithm, detail::IsNonNull>;
using ScopedHash = UniqueResource<BCRYPT_HASH_HANDLE, DestroyHash, detail::IsNonNull>;

// Streams the range through the hash (and into the target); the source is
// already positioned at the range's start.
bool HashChunks(HANDLE source, uint64_t size, const HeapBuffer& buffer, BCRYPT_HASH_HANDLE hash,
                HANDLE copyTarget, Sha256Digest* digestOut) {
  uint64_t remaining = size;
  while (remaining > 0) {
    DWORD chunk =
        remaining < kTransferChunkSize ? static_cast<DWORD>(remaining) : kTransferChunkSize;
    DWORD read = 0;
    if (!ReadFile(source, buffer.Get(), chunk, &read, nullptr) || read == 0 || read > chunk) {
      return false;
    }
    if (!Succeeded(BCryptHashData(hash, buffer.Bytes(), read, 0))) return false;
    if (copyTarget != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      if (!WriteFile(copyTarget, buffer.Get(), read, &written, nullptr) || written != read) {
        return false;
      }
    }
    remaining -= read;
  }
  return Succeeded(BCryptFinishHash(hash, digestOut->bytes, kSha256DigestSize, 0));
}

}  // namespace

bool DigestRange(HANDLE source, uint64_t offset, uint64_t size, Sha256Digest* digestOut,
                 HANDLE copyTarget) {
  HeapBuffer buffer(kTransferChunkSize);
  // An offset beyond the signed range is a seek that cannot succeed.
  if (offset > static_cast<uint64_t>(INT64_MAX) || !SeekTo(source, static_cast<int64_t>(offset))) {
    return false;
  }

  ScopedAlgorithm algorithm;
  if (!Succeeded(
          BCryptOpenAlgorithmProvider(algorithm.Receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    return false;
  }
  DWORD objectLength = 0;
  ULONG copied = 0;
  if (!Succeeded(BCryptGetProperty(algorithm.Get(), BCRYPT_OBJECT_LENGTH,
                                   reinterpret_cast<PUCHAR>(&objectLength), sizeof objectLength,
                                   &copied, 0))) {
    return false;
  }
  HeapBuffer hashObject(objectLength);
  ScopedHash hash;
  if (!Succeeded(BCryptCreateHash(algorithm.Get(), hash.Receive(), hashObject.Bytes(), objectLength,
                                  nullptr, 0, 0))) {
    return false;
  }
  // The hash handle is declared after the object buffer, so it is destroyed
  // before the memory it lives in is freed.
  return HashChunks(source, size, buffer, hash.Get(), copyTarget, digestOut);
}

}  // namespace zor
