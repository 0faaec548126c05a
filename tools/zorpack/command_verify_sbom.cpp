// zorpack verify-sbom: a signed SBOM, checked against its signer's key and
// the product it describes.
#include "command.h"
#include "pack_text.h"
#include "packer.h"
#include "sbom_input.h"
#include "sbom_signature.h"
#include "sbom_verify.h"
#include "zorpack_command.h"

namespace zor::pack {

namespace {

constexpr char kVerifySbomHelp[] =
    "usage: zorpack verify-sbom --key PUBLIC SBOM PRODUCT\n"
    "\n"
    "Checks that SBOM, a document zorpack sbom --sign-key wrote, is signed by\n"
    "the key whose PEM public key is PUBLIC (openssl pkey -in KEY -pubout),\n"
    "with the algorithm the key implies (Ed25519, ES256, ES384, ES512 or\n"
    "RS512), never the one the document names; and that it describes exactly\n"
    "PRODUCT: the SHA-256 and SHA-512 of PRODUCT, of the launcher image\n"
    "PRODUCT carries (as the release made it, before signing) and of its\n"
    "payload are the ones the document states.\n"
    "\n"
    "Only the Linux zorpack checks signatures: zorpack.exe has no OpenSSL.\n"
    "\n"
    "Exit status: 0 both hold; 1 they do not (the first difference named: an\n"
    "unsigned or changed document, another key, another product); 2 bad usage,\n"
    "a file that cannot be read, a PUBLIC that is not a PEM public key of those\n"
    "kinds, an SBOM that is not JSON, or zorpack.exe.\n";

std::string VerifySbomHelp() {
  return kVerifySbomHelp;
}

Result VerifySbom(const Request& request, CommandContext* context) {
  if (!kSigningAvailable) return Failed(kExitFailure, kNoSigningHere);
  std::string error;
  const Input* key = context->inputs.Open(kPublicKeyRole, request.sbom.publicKey, &error);
  const Input* sbom = key ? context->inputs.Open(kSbomRole, request.operands[0], &error) : nullptr;
  const Input* product =
      sbom ? context->inputs.Open(kProductRole, request.operands[1], &error) : nullptr;
  std::string keyText;
  std::string sbomText;
  Json document;
  uint64_t size = 0;
  if (product == nullptr || !ReadSmallInput(*key, &keyText, &error) ||
      !ReadSmallInput(*sbom, &sbomText, &error) ||
      !ParseJsonText(sbomText, Quoted(sbom->path), &document, &error) ||
      !SizeOf(product->Get(), product->path, &size, &error)) {
    return Failed(kExitFailure, error);
  }
  std::string why;
  switch (CheckSignature(keyText, document, &why)) {
    case SignatureCheck::kValid:
      break;
    case SignatureCheck::kInvalid:
      return Failed(kExitProductDiffers, Quoted(sbom->path) + ": " + why);
    case SignatureCheck::kUnusable:
      return Failed(kExitFailure, Quoted(key->path) + ": " + why);
  }
  switch (MatchSbomToProduct(document, product->Get(), size, &why)) {
    case SbomMatch::kMatches:
      break;
    case SbomMatch::kDiffers:
      return Failed(kExitProductDiffers, Quoted(sbom->path) + " does not describe " +
                                             Quoted(product->path) + ": " + why);
    case SbomMatch::kFailed:
      return Failed(kExitFailure, why + " " + Quoted(product->path));
  }
  return context->Report(Quoted(sbom->path) + " is signed by " + Quoted(key->path) +
                         " and describes " + Quoted(product->path) + "\n");
}

}  // namespace

const Command kVerifySbomCommand = {
    "verify-sbom",
    "verify-sbom --key PUBLIC SBOM PRODUCT",
    "check that SBOM is signed by PUBLIC's key and describes exactly\n"
    "           PRODUCT (its hashes, its launcher's and its payload's).\n",
    VerifySbomHelp,
    VerifySbom,
    2,
    kTakesPublicKey,
    0,
    "read"};

}  // namespace zor::pack
