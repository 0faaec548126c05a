// The SHA-256 interface that the range digest is written against. The
// platform's own implementation is chosen when linking: Windows CNG
// (sha256_cng.cpp) for the launcher and zorpack.exe, OpenSSL's libcrypto
// (sha256_openssl.cpp) for the native packer.
#pragma once

#include <stdint.h>

#include "common/sha256_digest.h"
#include "runtime/unique_resource.h"

namespace zor {

// One hash computation in progress; what it holds is the platform's.
struct Sha256Context;

// Sets up a computation; null when the platform's hash cannot be had.
Sha256Context* BeginSha256();
bool UpdateSha256(Sha256Context* context, const void* bytes, uint32_t count);
// Writes the digest of everything added; the context takes no more bytes.
bool FinishSha256(Sha256Context* context, Sha256Digest* digest);
// Releases the context; null is allowed.
void EndSha256(Sha256Context* context);

using ScopedSha256 = UniqueResource<Sha256Context*, EndSha256, detail::IsNonNull<Sha256Context*>>;

}  // namespace zor
