// The signature of an SBOM: a JSON Signature Format (JSF) `signature`
// member, {"algorithm", "value"}, over the document's canonical form
// (RFC 8785: keys sorted by UTF-16 code units, strings and numbers as
// ECMAScript writes them, no white space) with the top-level `signature`
// member left out, as CycloneDX consumers (cdxgen's cdx-verify among them)
// check it. The algorithm follows from the key:
//   Ed25519                     Ed25519
//   EC P-256, P-384, P-521      ES256, ES384, ES512 (r and s, each padded to
//                               the curve's size, as JWS writes them)
//   RSA of 2048 bits or more    RS512 (PKCS #1 v1.5 with SHA-512; cdx-sign's
//                               default for RSA keys)
// The value is base64url without padding. A document the canonical form
// cannot represent exactly (an integer beyond 2^53, a number that is not
// finite, a string that is not UTF-8) is refused, not signed: a consumer
// would read another value than the one signed.
//
// Signing and checking need OpenSSL: the native packer only. zorpack.exe
// (which hashes with Windows' CNG) refuses both (kSigningAvailable).
#pragma once

#include <string>

#include "sbom_input.h"

namespace zor::pack {

constexpr char kSignatureMember[] = "signature";
constexpr char kSignatureAlgorithm[] = "algorithm";
constexpr char kSignatureValue[] = "value";

// What zorpack.exe says when asked to sign or check a signature.
constexpr char kNoSigningHere[] =
    "zorpack.exe cannot sign or check SBOM signatures (it has no OpenSSL): use the Linux "
    "zorpack of the release kit or the Debian package";

// The largest integer a JSON number keeps exactly in an IEEE double, which
// is what ECMAScript (and so the canonical form) reads every number as.
constexpr double kLargestExactInteger = 9007199254740992.0;  // 2^53

// False on Windows (kNoSigningHere): SignDocument and CheckSignature then
// always fail.
extern const bool kSigningAvailable;

// The canonical form of `value`, without its own `signature` member when it
// is an object. False, with `error` naming the first value that has no
// exact canonical form, and `text` as it was.
bool CanonicalForm(const Json& value, std::string* text, std::string* error);

// Base64url without padding (RFC 4648, section 5), as JSF writes values.
std::string Base64Url(const std::string& bytes);
// False for text that is not strict base64url without padding.
bool FromBase64Url(const std::string& text, std::string* bytes);

// Signs `document` (an object) with the unencrypted PEM private key
// `keyPem` and sets its `signature` member, replacing any there was. False,
// with `error`, and `document` as it was, when the key is unusable (not
// PEM, encrypted, of another type or too small) or the document has no
// exact canonical form.
bool SignDocument(const std::string& keyPem, Json* document, std::string* error);

enum class SignatureCheck {
  kValid,
  kInvalid,   // no signature, another algorithm or key, or changed: `message` says which
  kUnusable,  // the key is not a PEM public key of a supported type
};

// Checks the signature of `document` with the PEM public key `publicKeyPem`.
// The algorithm is the one the key implies; a document that names another
// is invalid (never checked with what the document asks for).
SignatureCheck CheckSignature(const std::string& publicKeyPem, const Json& document,
                              std::string* message);

}  // namespace zor::pack
