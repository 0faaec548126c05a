// zorpack.exe hashes with Windows' CNG and carries no OpenSSL: it cannot
// sign an SBOM or check a signature, and says so.
#include "sbom_signature.h"

namespace zor::pack {

const bool kSigningAvailable = false;

bool SignDocument(const std::string&, Json*, std::string* error) {
  *error = kNoSigningHere;
  return false;
}

SignatureCheck CheckSignature(const std::string&, const Json&, std::string* message) {
  *message = kNoSigningHere;
  return SignatureCheck::kUnusable;
}

}  // namespace zor::pack
