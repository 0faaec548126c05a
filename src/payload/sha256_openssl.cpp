#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "payload/sha256.h"

namespace zor {

struct Sha256Context {
  EVP_MD_CTX* digest;
};

Sha256Context* BeginSha256() {
  // SHA-256 needs nothing from the system's OpenSSL configuration: not
  // loading it spares the packer a file and a dozen system calls per run.
  OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
  EVP_MD_CTX* digest = EVP_MD_CTX_new();
  if (digest == nullptr) return nullptr;
  if (EVP_DigestInit_ex(digest, EVP_sha256(), nullptr) != 1) {
    EVP_MD_CTX_free(digest);
    return nullptr;
  }
  return new Sha256Context{digest};
}

bool UpdateSha256(Sha256Context* context, const void* bytes, uint32_t count) {
  return EVP_DigestUpdate(context->digest, bytes, count) == 1;
}

bool FinishSha256(Sha256Context* context, Sha256Digest* digest) {
  unsigned int length = 0;
  return EVP_DigestFinal_ex(context->digest, digest->bytes, &length) == 1 &&
         length == kSha256DigestSize;
}

void EndSha256(Sha256Context* context) {
  if (context == nullptr) return;
  EVP_MD_CTX_free(context->digest);
  delete context;
}

}  // namespace zor
