// SHA-512, which only the packer needs (the SBOM carries it beside SHA-256):
// the same interface as payload/sha256.h, from OpenSSL's libcrypto on Linux
// (sha512_openssl.cpp) and Windows CNG in zorpack.exe (sha512_cng.cpp).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "runtime/unique_resource.h"

namespace zor::pack {

constexpr size_t kSha512DigestSize = 64;

struct Sha512Digest {
  unsigned char bytes[kSha512DigestSize];
};

struct Sha512Context;

// Null when the platform's hash cannot be had.
Sha512Context* BeginSha512();
bool UpdateSha512(Sha512Context* context, const void* bytes, uint32_t count);
bool FinishSha512(Sha512Context* context, Sha512Digest* digest);
// Null is allowed.
void EndSha512(Sha512Context* context);

using ScopedSha512 = UniqueResource<Sha512Context*, EndSha512, detail::IsNonNull<Sha512Context*>>;

}  // namespace zor::pack
