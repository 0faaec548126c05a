// zorpack inspect: where the payload lies and whether it is intact.
#include "command.h"
#include "pack_text.h"
#include "packer.h"
#include "report_json.h"
#include "zorpack_command.h"

namespace zor::pack {

namespace {

constexpr char kInspectHelp[] =
    "usage: zorpack inspect [--json] FILE\n"
    "\n"
    "Finds the payload of FILE (signed or not) the way the launcher does and\n"
    "prints its offset, size and recorded SHA-256, the SHA-256 computed over\n"
    "it, the certificate table (or none) and whether the image in front is this\n"
    "project's launcher. It checks the payload's digest, not the signature: use\n"
    "osslsigncode verify or signtool verify for that.\n"
    "\n"
    "--json prints one JSON object with the keys payload_offset, payload_size,\n"
    "payload_sha256, computed_sha256, payload_matches, certificate_table_offset,\n"
    "certificate_table_size (both 0 without a table) and launcher_recognised.\n"
    "\n"
    "Exit status: 0 all is well; 1 the payload does not match its digest; 2 no\n"
    "payload, or the launcher part is not this project's launcher.\n";

std::string InspectHelp() {
  return kInspectHelp;
}

std::string InspectionJson(const Inspection& inspection) {
  uint32_t tableOffset = inspection.hasCertificateTable ? inspection.certificateTableOffset : 0;
  uint32_t tableSize = inspection.hasCertificateTable ? inspection.certificateTableSize : 0;
  return JsonObjectLine({{kKeyPayloadOffset, std::to_string(inspection.location.offset)},
                         {kKeyPayloadSize, std::to_string(inspection.location.size)},
                         {kKeyPayloadSha256, JsonString(DigestText(inspection.location.digest))},
                         {kKeyComputedSha256, JsonString(DigestText(inspection.computedDigest))},
                         {kKeyPayloadMatches, JsonBool(inspection.digestMatches)},
                         {kKeyCertificateTableOffset, std::to_string(tableOffset)},
                         {kKeyCertificateTableSize, std::to_string(tableSize)},
                         {kKeyLauncherRecognised, JsonBool(inspection.launcherRecognised)}});
}

std::string InspectionText(const Inspection& inspection) {
  std::string table = inspection.hasCertificateTable
                          ? std::to_string(inspection.certificateTableSize) + " bytes at offset " +
                                std::to_string(inspection.certificateTableOffset)
                          : "none";
  std::string check = inspection.digestMatches
                          ? "matches"
                          : "MISMATCH, computed sha256 " + DigestText(inspection.computedDigest);
  return "payload offset: " + std::to_string(inspection.location.offset) + "\n" +
         "payload size: " + std::to_string(inspection.location.size) + "\n" +
         "payload sha256: " + DigestText(inspection.location.digest) + "\n" +
         "certificate table: " + table + "\npayload check: " + check + "\nlauncher: " +
         (inspection.launcherRecognised ? "this project's launcher"
                                        : "NOT this project's launcher image") +
         "\n";
}

Result Inspect(const Request& request, CommandContext* context) {
  const std::string& file = request.operands[0];
  std::string error;
  const Input* input = context->inputs.Open(kFileRole, file, &error);
  Inspection inspection;
  if (input == nullptr || !InspectInput(*input, &inspection, &error)) {
    return Failed(kExitFailure, error);
  }
  std::string report = request.json ? InspectionJson(inspection) : InspectionText(inspection);
  if (!inspection.launcherRecognised) {
    return context->Report(report,
                           Failed(kExitFailure, "the launcher part of " + Quoted(file) +
                                                    " is not this project's launcher image"));
  }
  if (!inspection.digestMatches) {
    return context->Report(
        report, Failed(kExitDigestMismatch, "the payload of " + Quoted(file) +
                                                " does not match the digest in its trailer"));
  }
  return context->Report(report);
}

}  // namespace

const Command kInspectCommand = {
    "inspect",
    "inspect [--json] FILE",
    "show where the payload lies, whether it matches its digest, the\n"
    "           certificate table and whether the launcher is this project's.\n",
    InspectHelp,
    Inspect,
    1,
    kTakesJson,
    0,
    "read"};

}  // namespace zor::pack
