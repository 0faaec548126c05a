#include "sha512.h"

// windows.h comes first: bcrypt.h depends on its types.
#include <windows.h>

#include <bcrypt.h>

namespace zor::pack {

// CNG allocates the hash object itself when given none (Windows 7 and
// later), so the context holds two handles only.
struct Sha512Context {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
};

namespace {

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

}  // namespace

Sha512Context* BeginSha512() {
  auto* context = new Sha512Context;
  if (Succeeded(
          BCryptOpenAlgorithmProvider(&context->algorithm, BCRYPT_SHA512_ALGORITHM, nullptr, 0)) &&
      Succeeded(BCryptCreateHash(context->algorithm, &context->hash, nullptr, 0, nullptr, 0, 0))) {
    return context;
  }
  EndSha512(context);
  return nullptr;
}

bool UpdateSha512(Sha512Context* context, const void* bytes, uint32_t count) {
  return Succeeded(
      BCryptHashData(context->hash, static_cast<PUCHAR>(const_cast<void*>(bytes)), count, 0));
}

bool FinishSha512(Sha512Context* context, Sha512Digest* digest) {
  return Succeeded(BCryptFinishHash(context->hash, digest->bytes, kSha512DigestSize, 0));
}

void EndSha512(Sha512Context* context) {
  if (context == nullptr) return;
  if (context->hash != nullptr) BCryptDestroyHash(context->hash);
  if (context->algorithm != nullptr) BCryptCloseAlgorithmProvider(context->algorithm, 0);
  delete context;
}

}  // namespace zor::pack
