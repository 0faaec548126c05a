// Signing and checking through OpenSSL's EVP interface: the native packer.
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

#include "sbom_signature.h"

namespace zor::pack {

const bool kSigningAvailable = true;

namespace {

// Smaller RSA keys are within reach of a determined attacker.
constexpr int kSmallestRsaBits = 2048;
constexpr char kEd25519[] = "Ed25519";
constexpr char kRsaAlgorithm[] = "RS512";
// What PEM files of encrypted keys say in their first lines.
constexpr char kEncryptedMarker[] = "ENCRYPTED";
constexpr size_t kGroupNameSize = 80;

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct EcdsaFree {
  void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

// What the key implies: the JSF name, the digest (none for Ed25519) and,
// for ECDSA, the size of each of r and s in the signature's value.
struct KeyAlgorithm {
  const char* name = nullptr;
  const EVP_MD* (*digest)() = nullptr;
  size_t ecFieldSize = 0;
};

struct Curve {
  const char* group;
  KeyAlgorithm algorithm;
};
const Curve kCurves[] = {
    {"prime256v1", {"ES256", EVP_sha256, 32}},
    {"secp384r1", {"ES384", EVP_sha384, 48}},
    {"secp521r1", {"ES512", EVP_sha512, 66}},
};

// Never asks for a passphrase (a build has no one to answer): an encrypted
// key fails to load.
int NoPassphrase(char*, int, int, void*) {
  return -1;
}

Key ReadKey(const std::string& pem, bool isPrivate) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return Key();
  EVP_PKEY* key = isPrivate ? PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassphrase, nullptr)
                            : PEM_read_bio_PUBKEY(bio.get(), nullptr, NoPassphrase, nullptr);
  // A failed read leaves its reasons queued; none of them concern a later
  // call.
  ERR_clear_error();
  return Key(key);
}

bool AlgorithmOf(EVP_PKEY* key, KeyAlgorithm* algorithm, std::string* error) {
  switch (EVP_PKEY_get_base_id(key)) {
    case EVP_PKEY_ED25519:
      algorithm->name = kEd25519;
      return true;
    case EVP_PKEY_RSA:
      if (EVP_PKEY_get_bits(key) < kSmallestRsaBits) {
        *error = "an RSA key of " + std::to_string(EVP_PKEY_get_bits(key)) +
                 " bits; use one of at least " + std::to_string(kSmallestRsaBits);
        return false;
      }
      algorithm->name = kRsaAlgorithm;
      algorithm->digest = EVP_sha512;
      return true;
    case EVP_PKEY_EC: {
      char group[kGroupNameSize] = {};
      size_t length = 0;
      if (EVP_PKEY_get_group_name(key, group, sizeof group, &length) == 1) {
        for (const Curve& curve : kCurves) {
          if (std::string(group) == curve.group) {
            *algorithm = curve.algorithm;
            return true;
          }
        }
      }
      ERR_clear_error();
      *error = "an EC key on another curve than P-256, P-384 or P-521";
      return false;
    }
    default:
      *error = "a key of another type than Ed25519, EC (P-256, P-384, P-521) or RSA";
      return false;
  }
}

// ECDSA's DER signature as JWS and JSF write it: r and s, each padded to
// the curve's size.
bool DerToFixed(const std::string& der, size_t fieldSize, std::string* fixed) {
  const unsigned char* at = reinterpret_cast<const unsigned char*>(der.data());
  std::unique_ptr<ECDSA_SIG, EcdsaFree> signature(
      d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(der.size())));
  if (!signature) return false;
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  ECDSA_SIG_get0(signature.get(), &r, &s);
  std::string out(2 * fieldSize, '\0');
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&out[0]);
  int size = static_cast<int>(fieldSize);
  if (BN_bn2binpad(r, bytes, size) != size || BN_bn2binpad(s, bytes + fieldSize, size) != size) {
    return false;
  }
  *fixed = std::move(out);
  return true;
}

bool FixedToDer(const std::string& fixed, size_t fieldSize, std::string* der) {
  if (fixed.size() != 2 * fieldSize) return false;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(fixed.data());
  int size = static_cast<int>(fieldSize);
  std::unique_ptr<ECDSA_SIG, EcdsaFree> signature(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(bytes, size, nullptr);
  BIGNUM* s = BN_bin2bn(bytes + fieldSize, size, nullptr);
  // ECDSA_SIG_set0 takes r and s on success only.
  if (!signature || r == nullptr || s == nullptr || ECDSA_SIG_set0(signature.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return false;
  }
  int length = i2d_ECDSA_SIG(signature.get(), nullptr);
  if (length <= 0) return false;
  std::string out(static_cast<size_t>(length), '\0');
  unsigned char* at = reinterpret_cast<unsigned char*>(&out[0]);
  if (i2d_ECDSA_SIG(signature.get(), &at) != length) return false;
  *der = std::move(out);
  return true;
}

const unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

bool SignBytes(EVP_PKEY* key, const KeyAlgorithm& algorithm, const std::string& data,
               std::string* signature) {
  std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
  const EVP_MD* digest = algorithm.digest != nullptr ? algorithm.digest() : nullptr;
  size_t length = 0;
  if (!context || EVP_DigestSignInit(context.get(), nullptr, digest, nullptr, key) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, Bytes(data), data.size()) != 1) {
    return false;
  }
  std::string out(length, '\0');
  if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(&out[0]), &length, Bytes(data),
                     data.size()) != 1) {
    return false;
  }
  out.resize(length);
  if (algorithm.ecFieldSize == 0) {
    *signature = std::move(out);
    return true;
  }
  return DerToFixed(out, algorithm.ecFieldSize, signature);
}

bool VerifyBytes(EVP_PKEY* key, const KeyAlgorithm& algorithm, const std::string& data,
                 const std::string& signature) {
  std::string checked = signature;
  if (algorithm.ecFieldSize != 0 && !FixedToDer(signature, algorithm.ecFieldSize, &checked)) {
    return false;
  }
  std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
  const EVP_MD* digest = algorithm.digest != nullptr ? algorithm.digest() : nullptr;
  bool valid = context && EVP_DigestVerifyInit(context.get(), nullptr, digest, nullptr, key) == 1 &&
               EVP_DigestVerify(context.get(), Bytes(checked), checked.size(), Bytes(data),
                                data.size()) == 1;
  ERR_clear_error();
  return valid;
}

}  // namespace

bool SignDocument(const std::string& keyPem, Json* document, std::string* error) {
  Key key = ReadKey(keyPem, true);
  if (!key) {
    *error = keyPem.find(kEncryptedMarker) != std::string::npos
                 ? "the signing key is encrypted: give an unencrypted one (openssl pkey -in "
                   "KEY -out PLAIN), kept where only the build can read it"
                 : "the signing key is not a PEM private key";
    return false;
  }
  KeyAlgorithm algorithm;
  std::string reason;
  if (!AlgorithmOf(key.get(), &algorithm, &reason)) {
    *error = "the signing key is " + reason;
    return false;
  }
  std::string canonical;
  if (!document->is_object()) {
    *error = "the document is not a JSON object";
    return false;
  }
  if (!CanonicalForm(*document, &canonical, error)) return false;
  std::string signature;
  if (!SignBytes(key.get(), algorithm, canonical, &signature)) {
    ERR_clear_error();
    *error = std::string("signing with ") + algorithm.name + " failed";
    return false;
  }
  (*document)[kSignatureMember] = {{kSignatureAlgorithm, algorithm.name},
                                   {kSignatureValue, Base64Url(signature)}};
  return true;
}

SignatureCheck CheckSignature(const std::string& publicKeyPem, const Json& document,
                              std::string* message) {
  Key key = ReadKey(publicKeyPem, false);
  if (!key) {
    *message = "the key is not a PEM public key (openssl pkey -pubout gives one)";
    return SignatureCheck::kUnusable;
  }
  KeyAlgorithm algorithm;
  std::string reason;
  if (!AlgorithmOf(key.get(), &algorithm, &reason)) {
    *message = "the key is " + reason;
    return SignatureCheck::kUnusable;
  }
  if (!document.is_object() || !document.contains(kSignatureMember)) {
    *message = "the document is not signed";
    return SignatureCheck::kInvalid;
  }
  const Json& signature = document[kSignatureMember];
  if (!signature.is_object() || !signature.contains(kSignatureAlgorithm) ||
      !signature[kSignatureAlgorithm].is_string() || !signature.contains(kSignatureValue) ||
      !signature[kSignatureValue].is_string()) {
    *message = "the document's signature is not one JSF signature with an algorithm and a value";
    return SignatureCheck::kInvalid;
  }
  // Never the algorithm the document asks for: one that takes the public
  // key as a shared secret (HS256) would let anyone sign.
  const std::string& named = signature[kSignatureAlgorithm].get_ref<const std::string&>();
  if (named != algorithm.name) {
    *message = "the document is signed with " + named + ", the key is for " + algorithm.name;
    return SignatureCheck::kInvalid;
  }
  std::string canonical;
  std::string value;
  if (!CanonicalForm(document, &canonical, message)) return SignatureCheck::kInvalid;
  if (!FromBase64Url(signature[kSignatureValue].get<std::string>(), &value) ||
      !VerifyBytes(key.get(), algorithm, canonical, value)) {
    *message = "the signature does not match: the document was changed or signed with another key";
    return SignatureCheck::kInvalid;
  }
  return SignatureCheck::kValid;
}

}  // namespace zor::pack
