#include "payload/sha256.h"

// windows.h comes first: bcrypt.h depends on its types.
#include <windows.h>

#include <bcrypt.h>

#include "runtime/heap.h"

namespace zor {

struct Sha256Context {
  BCRYPT_ALG_HANDLE algorithm;
  BCRYPT_HASH_HANDLE hash;
  // CNG keeps the hash's state in memory of the caller's, of the provider's
  // "ObjectLength".
  unsigned char* hashObject;
};

namespace {

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

bool SetUp(Sha256Context* context) {
  if (!Succeeded(
          BCryptOpenAlgorithmProvider(&context->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    context->algorithm = nullptr;
    return false;
  }
  DWORD objectLength = 0;
  ULONG copied = 0;
  if (!Succeeded(BCryptGetProperty(context->algorithm, BCRYPT_OBJECT_LENGTH,
                                   reinterpret_cast<PUCHAR>(&objectLength), sizeof objectLength,
                                   &copied, 0))) {
    return false;
  }
  context->hashObject = static_cast<unsigned char*>(AllocateZeroed(objectLength));
  if (!Succeeded(BCryptCreateHash(context->algorithm, &context->hash, context->hashObject,
                                  objectLength, nullptr, 0, 0))) {
    context->hash = nullptr;
    return false;
  }
  return true;
}

}  // namespace

Sha256Context* BeginSha256() {
  auto* context = static_cast<Sha256Context*>(AllocateZeroed(sizeof(Sha256Context)));
  if (SetUp(context)) return context;
  EndSha256(context);
  return nullptr;
}

bool UpdateSha256(Sha256Context* context, const void* bytes, uint32_t count) {
  return Succeeded(
      BCryptHashData(context->hash, static_cast<PUCHAR>(const_cast<void*>(bytes)), count, 0));
}

bool FinishSha256(Sha256Context* context, Sha256Digest* digest) {
  return Succeeded(BCryptFinishHash(context->hash, digest->bytes, kSha256DigestSize, 0));
}

void EndSha256(Sha256Context* context) {
  if (context == nullptr) return;
  // The hash goes before the provider, and before the memory it lives in.
  if (context->hash != nullptr) BCryptDestroyHash(context->hash);
  if (context->algorithm != nullptr) BCryptCloseAlgorithmProvider(context->algorithm, 0);
  FreeMemory(context->hashObject);
  FreeMemory(context);
}

}  // namespace zor
