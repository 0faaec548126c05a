#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "sha512.h"

namespace zor::pack {

struct Sha512Context {
  EVP_MD_CTX* digest;
};

Sha512Context* BeginSha512() {
  OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
  EVP_MD_CTX* digest = EVP_MD_CTX_new();
  if (digest == nullptr) return nullptr;
  if (EVP_DigestInit_ex(digest, EVP_sha512(), nullptr) != 1) {
    EVP_MD_CTX_free(digest);
    return nullptr;
  }
  return new Sha512Context{digest};
}

bool UpdateSha512(Sha512Context* context, const void* bytes, uint32_t count) {
  return EVP_DigestUpdate(context->digest, bytes, count) == 1;
}

bool FinishSha512(Sha512Context* context, Sha512Digest* digest) {
  unsigned int length = 0;
  return EVP_DigestFinal_ex(context->digest, digest->bytes, &length) == 1 &&
         length == kSha512DigestSize;
}

void EndSha512(Sha512Context* context) {
  if (context == nullptr) return;
  EVP_MD_CTX_free(context->digest);
  delete context;
}

}  // namespace zor::pack
