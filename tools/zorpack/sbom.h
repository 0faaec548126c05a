// `zorpack sbom`: a CycloneDX 1.6 JSON document of what a product is made of
// (this release's launcher and the payload, with what the payload's own SBOM
// says it holds), made only for a product that verifies against the
// released launcher. Every hash in it comes from one read of the product.
#pragma once

#include <string>

#include "command_input.h"
#include "sbom_facts.h"

namespace zor::pack {

// The properties the product component carries, for support engineers.
constexpr char kPropertySigned[] = "zor:signed";
constexpr char kPropertyPayloadOffset[] = "zor:payload_offset";
constexpr char kPropertyPayloadSize[] = "zor:payload_size";
constexpr char kPropertyCertificateTableSize[] = "zor:certificate_table_size";
// The launcher's and zorpack's.
constexpr char kPropertySourceRevision[] = "zor:source_revision";

// The environment variable that fixes the document's time stamp (seconds
// since 1970), as reproducible builds set it.
constexpr char kSourceDateEpoch[] = "SOURCE_DATE_EPOCH";

// The options of sbom (the vendor's facts among them) and of the commands
// that share its option table (verify's --launcher, verify-sbom's --key).
struct SbomRequest : VendorFacts {
  std::string launcher;
  std::string product;
  // Empty: not given. The product's name defaults to its file name without
  // ".exe", the payload's to kDefaultPayloadName or its SBOM's.
  std::string name;
  std::string version;
  std::string payloadName;
  std::string payloadVersion;
  std::string payloadSbom;  // a file
  std::string signKey;      // a file: the PEM private key that signs
  std::string publicKey;    // verify-sbom's: the PEM public key
  // A document that lacks a field BSI TR-03183-2 requires is refused
  // (kIncomplete) rather than written with a warning.
  bool strict = false;
};

constexpr char kDefaultPayloadName[] = "payload";

// kIncomplete: --strict, and a required field is missing.
enum class SbomOutcome { kMade, kDiffers, kIncomplete, kFailed };

// The files the document is made from, opened by the command: each is read
// once here (LAUNCHER in verify's comparison, PRODUCT in one pass that
// verifies and hashes it); the command checks at the end that none changed.
struct SbomInputs {
  const Input* launcher = nullptr;
  const Input* product = nullptr;
  const Input* payloadSbom = nullptr;  // null when none was given
  const Input* signKey = nullptr;      // null: the document is not signed
};

// The document, signed when a key was given, and in `missing` the
// required fields it lacks (empty when it has them all); or kDiffers (the
// product does not verify, or the payload SBOM's hashes are not the
// payload's), kIncomplete (strict, with `error` naming what is missing)
// or kFailed with `error`.
SbomOutcome MakeSbom(const SbomRequest& request, const SbomInputs& inputs, std::string* document,
                     std::string* missing, std::string* error);

// For tests only: `hook`, unless null, runs with LAUNCHER's path once the
// product has been compared with it and before the product is hashed, so
// that a test can change either then.
void SetAfterLauncherComparedHookForTesting(void (*hook)(const std::string& launcher));

}  // namespace zor::pack
