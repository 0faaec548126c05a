// zorpack verify: the product against the released launcher image.
#include "command.h"
#include "pack_text.h"
#include "packer.h"
#include "verify.h"
#include "zorpack_command.h"

namespace zor::pack {

namespace {

constexpr char kVerifyHelp[] =
    "usage: zorpack verify --launcher LAUNCHER PRODUCT [--json]\n"
    "\n"
    "Checks that PRODUCT (a packed file, signed or not) carries exactly\n"
    "LAUNCHER, this project's unsigned launcher image of a release (the kit's\n"
    "share/zor/launcher.exe, or one rebuilt at the release's revision):\n"
    "  launcher           the image is LAUNCHER byte for byte, except the header\n"
    "                     checksum and the security directory, which signing sets\n"
    "  padding            the bytes between image and payload are zero\n"
    "  payload            the payload matches the SHA-256 in its trailer\n"
    "  trailer            the trailer ends where the certificate table begins, or\n"
    "                     at the end of an unsigned file\n"
    "  certificate_table  nothing follows the certificate table\n"
    "It prints one line per check and a verdict; a product that differs is\n"
    "named by the first differing offset and field. --json prints one object:\n"
    "verdict (same or different), each check (passed, failed or not_checked),\n"
    "first_difference and first_difference_offset (null for a match),\n"
    "launcher_size, product_size, payload_offset, payload_size, payload_sha256,\n"
    "computed_sha256 (null without a trailer), certificate_table_offset,\n"
    "certificate_table_size (0 when unsigned), signature_checked (false).\n"
    "\n"
    "The signature is NOT checked: run osslsigncode verify or signtool verify\n"
    "beside it.\n"
    "\n"
    "Exit status: 0 PRODUCT matches; 1 it differs; 2 bad usage, a file that\n"
    "cannot be read, or a LAUNCHER that is not this project's unsigned launcher\n"
    "image.\n";

std::string VerifyHelp() {
  return kVerifyHelp;
}

Result Verify(const Request& request, CommandContext* context) {
  const std::string& product = request.operands[0];
  std::string error;
  const Input* launcherInput = context->inputs.Open(kLauncherRole, request.sbom.launcher, &error);
  const Input* productInput =
      launcherInput ? context->inputs.Open(kProductRole, product, &error) : nullptr;
  Verification verification;
  if (productInput == nullptr ||
      !VerifyProduct(*launcherInput, *productInput, &verification, &error)) {
    return Failed(kExitFailure, error);
  }
  std::string report = VerificationReport(verification, request.json);
  const CheckResult* failure = verification.FirstFailure();
  if (failure == nullptr) return context->Report(report);
  return context->Report(
      report, Failed(kExitProductDiffers, DifferenceMessage(*productInput, verification)));
}

}  // namespace

const Command kVerifyCommand = {
    "verify",
    "verify --launcher LAUNCHER PRODUCT [--json]",
    "check that PRODUCT carries exactly the released LAUNCHER image,\n"
    "           zero padding, an intact payload and nothing after the signature\n"
    "           (not the signature itself).\n",
    VerifyHelp,
    Verify,
    1,
    kTakesJson | kTakesLauncher,
    0,
    "read"};

}  // namespace zor::pack
