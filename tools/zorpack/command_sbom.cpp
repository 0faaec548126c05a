// zorpack sbom: a CycloneDX document of a product that verifies.
#include <algorithm>

#include "command.h"
#include "pack_text.h"
#include "packer.h"
#include "sbom.h"
#include "sbom_signature.h"
#include "zorpack_command.h"

namespace zor::pack {

namespace {

constexpr char kSbomHelpHead[] =
    "usage: zorpack sbom --launcher LAUNCHER [OPTION...] PRODUCT [OUTPUT]\n"
    "\n"
    "Writes a CycloneDX 1.6 JSON SBOM of PRODUCT (signed or not) to OUTPUT, or\n"
    "to standard output when OUTPUT is - or not given. PRODUCT must first pass\n"
    "every check of zorpack verify against LAUNCHER. Make it from the signed\n"
    "product: signing changes the product's hashes.\n";

constexpr char kSbomHelpTail[] =
    "  --strict                refuse a document that lacks a field BSI\n"
    "                          TR-03183-2 requires (exit status 1)\n"
    "\n"
    "The payload's supplier, licence and purl come first from its own SBOM,\n"
    "then from the --payload- options, then from the product's --supplier (with\n"
    "its URL and address) and --license: a vendor usually ships both.\n"
    "\n"
    "The document: metadata.component is the product (type application,\n"
    "bom-ref product) with the SHA-256 and SHA-512 of PRODUCT and the\n"
    "properties zor:signed (true or false), zor:payload_offset,\n"
    "zor:payload_size and zor:certificate_table_size (0 unsigned); components\n"
    "are the launcher (zor-firmware-update-launcher, this release's version,\n"
    "its maker, licence and purl, property zor:source_revision, the SHA-256 and\n"
    "SHA-512 of LAUNCHER) and the payload (the SHA-256 in its trailer, checked,\n"
    "and its SHA-512); dependencies: the product on both, the payload on what\n"
    "its SBOM says. Each of the three has the properties bsi:component:filename,\n"
    "bsi:component:executable, bsi:component:archive and\n"
    "bsi:component:structured, its licence marked as the distribution licence\n"
    "(acknowledgement concluded) and a distribution reference with the SHA-512\n"
    "of its file. metadata.manufacturer is the supplier. metadata.tools names\n"
    "zorpack, its version and source revision. The time stamp is\n"
    "SOURCE_DATE_EPOCH when set, else the current time; the serialNumber (a\n"
    "version-8 UUID) is derived from everything else the document says: the\n"
    "same inputs give the same bytes. Control, invisible and direction\n"
    "characters in strings are written as \\uNNNN. No path, user or machine\n"
    "name is written. A field BSI TR-03183-2 requires that the options did not\n"
    "fill is named on standard error, with the option that fills it.\n"
    "\n"
    "--sign-key adds a JSF signature (Ed25519, ES256, ES384, ES512 or RS512, as\n"
    "the key implies) over the document's RFC 8785 canonical form, which\n"
    "zorpack verify-sbom and cdxgen's cdx-verify check. zorpack.exe cannot sign\n"
    "(it has no OpenSSL): use the Linux zorpack.\n"
    "\n"
    "Exit status: 0 written; 1 PRODUCT differs from what the release made (the\n"
    "first difference as verify names it), the payload SBOM's hash is not\n"
    "the payload's (naming the algorithm), or --strict and a required field is\n"
    "missing; 2 bad usage, a file that cannot be read or written, a key that\n"
    "cannot sign, or a payload SBOM that is not JSON (its line and column\n"
    "named), not CycloneDX 1.4 to 1.6, nested more than 64 levels deep,\n"
    "larger than 16 MiB, holding what the merge cannot carry over (services,\n"
    "compositions, vulnerabilities, a component's evidence, ...) or a value of\n"
    "another type or format than CycloneDX 1.6 gives it, or that would break\n"
    "the document (a bom-ref twice, a dependency on nothing it lists); the\n"
    "element is named. Nothing is written unless the status is 0.\n";

constexpr char kLauncherOption[] = "--launcher";
constexpr char kMissingFieldsWarning[] =
    "warning: the SBOM lacks fields BSI TR-03183-2 requires (the option that fills each in "
    "brackets): ";

// The option lines of the help: the option and its value, then the
// description from this column on.
constexpr size_t kOptionIndent = 2;
constexpr size_t kDescriptionColumn = 26;
constexpr size_t kDescriptionGap = 2;

// verify's and sbom's options. An sbom option is one line here and its field
// in SbomRequest; with a role its value is a file, opened with the others.
const std::vector<ValueOption> kValueOptions = {
    {kLauncherOption, kTakesLauncher, &SbomRequest::launcher, "LAUNCHER", "", kLauncherRole},
    {"--name", kTakesSbomOptions, &SbomRequest::name, "NAME",
     "the product (default: PRODUCT's file name\nwithout .exe)", nullptr},
    {"--version", kTakesSbomOptions, &SbomRequest::version, "VERSION",
     "the product's version (default: none)", nullptr},
    {"--supplier", kTakesSbomOptions, &SbomRequest::supplier, "NAME",
     "the product's supplier and manufacturer, and\nthe SBOM's creator (default: none)", nullptr},
    {"--supplier-url", kTakesSbomOptions, &SbomRequest::supplierUrl, "URL",
     "the supplier's web address", nullptr},
    {"--supplier-email", kTakesSbomOptions, &SbomRequest::supplierEmail, "ADDRESS",
     "the supplier's address for vulnerability\nreports", nullptr},
    {"--license", kTakesSbomOptions, &SbomRequest::license, "EXPRESSION",
     "the licence the product is distributed under:\nan SPDX expression or a LicenseRef-", nullptr},
    {"--purl", kTakesSbomOptions, &SbomRequest::purl, "PURL", "the product's package URL", nullptr},
    {"--cpe", kTakesSbomOptions, &SbomRequest::cpe, "CPE", "the product's CPE name", nullptr},
    {"--payload-name", kTakesSbomOptions, &SbomRequest::payloadName, "NAME",
     "the payload (default: payload, or its SBOM's name)", nullptr},
    {"--payload-version", kTakesSbomOptions, &SbomRequest::payloadVersion, "VERSION",
     "the payload's version", nullptr},
    {"--payload-supplier", kTakesSbomOptions, &SbomRequest::payloadSupplier, "NAME",
     "the payload's supplier (default: its SBOM's,\nelse the product's)", nullptr},
    {"--payload-license", kTakesSbomOptions, &SbomRequest::payloadLicense, "EXPRESSION",
     "the payload's licence (default: its SBOM's,\nelse the product's)", nullptr},
    {"--payload-purl", kTakesSbomOptions, &SbomRequest::payloadPurl, "PURL",
     "the payload's package URL (default: its\nSBOM's)", nullptr},
    {"--payload-sbom", kTakesSbomOptions, &SbomRequest::payloadSbom, "FILE",
     "the payload's own CycloneDX JSON SBOM (1.4 to 1.6):\n"
     "its main component becomes the payload component,\n"
     "its components are nested under it and its\n"
     "dependencies carried over, every bom-ref in it\n"
     "renamed payload or payload/REF. A SHA-256 or SHA-512 it\n"
     "gives for its main component must be the\n"
     "payload's; hashes of other algorithms are left\n"
     "out.",
     kPayloadSbomRole},
    {"--sign-key", kTakesSbomOptions, &SbomRequest::signKey, "KEY",
     "sign the document with KEY, an unencrypted PEM\n"
     "private key (Ed25519, EC P-256, P-384, P-521,\n"
     "RSA of 2048 bits or more)",
     kSignKeyRole},
    {"--key", kTakesPublicKey, &SbomRequest::publicKey, "PUBLIC", "", kPublicKeyRole},
};

std::string SbomHelp() {
  return kSbomHelpHead + OptionsHelp(kTakesSbomOptions) + kSbomHelpTail;
}

Result Sbom(const Request& request, CommandContext* context) {
  SbomRequest sbom = request.sbom;
  sbom.product = request.operands[0];
  std::string output = request.operands.size() > 1 ? request.operands[1] : kStandardStreamName;
  std::string error;
  if (!sbom.signKey.empty() && !kSigningAvailable) return Failed(kExitFailure, kNoSigningHere);
  // Every file is opened here, once: LAUNCHER, PRODUCT, then each option
  // that names a file.
  SbomInputs inputs;
  inputs.launcher = context->inputs.Open(kLauncherRole, sbom.launcher, &error);
  if (inputs.launcher == nullptr) return Failed(kExitFailure, error);
  inputs.product = context->inputs.Open(kProductRole, sbom.product, &error);
  if (inputs.product == nullptr) return Failed(kExitFailure, error);
  for (const ValueOption& option : ValueOptions()) {
    const std::string& path = sbom.*option.field;
    if (option.role == nullptr || option.field == &SbomRequest::launcher || path.empty()) continue;
    const Input* input = context->inputs.Open(option.role, path, &error);
    if (input == nullptr) return Failed(kExitFailure, error);
    if (option.field == &SbomRequest::payloadSbom) inputs.payloadSbom = input;
    if (option.field == &SbomRequest::signKey) inputs.signKey = input;
  }
  std::string document;
  std::string missing;
  switch (MakeSbom(sbom, inputs, &document, &missing, &error)) {
    case SbomOutcome::kMade:
      break;
    case SbomOutcome::kDiffers:
    case SbomOutcome::kIncomplete:
      return Failed(kExitProductDiffers, error);
    case SbomOutcome::kFailed:
      return Failed(kExitFailure, error);
  }
  if (!context->output.Open(output, true, &error) ||
      !context->output.CommitWith(document, "", &error)) {
    return Failed(kExitFailure, error);
  }
  // Written, and said on standard error: what the vendor has yet to give.
  if (!missing.empty()) {
    return {kExitSuccess, kMissingFieldsWarning + missing};
  }
  return Succeeded();
}

}  // namespace

const std::vector<ValueOption>& ValueOptions() {
  return kValueOptions;
}

std::string OptionsHelp(unsigned bit) {
  std::string lines;
  for (const ValueOption& option : kValueOptions) {
    if (option.takenWith != bit) continue;
    std::string line = std::string(kOptionIndent, ' ') + option.name + " " + option.value;
    line.resize(std::max(kDescriptionColumn, line.size() + kDescriptionGap), ' ');
    std::string description = option.description;
    for (size_t at = description.find('\n'); at != std::string::npos;
         at = description.find('\n', at + 1)) {
      description.insert(at + 1, std::string(kDescriptionColumn, ' '));
    }
    lines += line + description + "\n";
  }
  return lines;
}

const Command kSbomCommand = {
    "sbom",
    "sbom --launcher LAUNCHER [OPTION...] PRODUCT [OUTPUT]",
    "write a CycloneDX 1.6 JSON SBOM of PRODUCT (launcher, payload and\n"
    "           what the payload's own SBOM lists) to OUTPUT or standard output,\n"
    "           when PRODUCT verifies against LAUNCHER.\n",
    SbomHelp,
    Sbom,
    1,
    kTakesLauncher | kTakesSbomOptions | kTakesStrict,
    1,
    "read"};

}  // namespace zor::pack
