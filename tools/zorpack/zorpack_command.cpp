#include "zorpack_command.h"

#include <algorithm>

#include "pack_platform.h"
#include "pack_text.h"
#include "packer.h"
#include "verify.h"
#include "zorpack_version.h"

namespace zor::pack {

namespace {

constexpr char kErrorPrefix[] = "zorpack: ";

constexpr char kUsage[] =
    "usage: zorpack pack LAUNCHER PAYLOAD OUTPUT\n"
    "       zorpack inspect [--json] FILE\n"
    "       zorpack extract FILE OUTPUT\n"
    "       zorpack verify --launcher LAUNCHER PRODUCT [--json]\n"
    "       zorpack help [COMMAND]    (or -h, --help; COMMAND --help)\n"
    "       zorpack version           (or --version)\n"
    "\n"
    "  pack     write OUTPUT: the unsigned LAUNCHER image, zero padding, PAYLOAD (a\n"
    "           Windows program) and a trailer with its size and SHA-256, ready to\n"
    "           be signed.\n"
    "  inspect  show where the payload lies, whether it matches its digest, the\n"
    "           certificate table and whether the launcher is this project's.\n"
    "  extract  write the payload to OUTPUT, only when it matches its digest.\n"
    "  verify   check that PRODUCT carries exactly the released LAUNCHER image,\n"
    "           zero padding, an intact payload and nothing after the signature\n"
    "           (not the signature itself).\n"
    "\n"
    "OUTPUT appears only when complete; an existing OUTPUT is replaced only when\n"
    "it is a regular file (not a link, nor another user's file in a sticky\n"
    "folder), and keeps its permissions less group or other write permission\n"
    "that the umask would not give. extract writes to standard output when\n"
    "OUTPUT is -. -- ends the options.\n"
    "Exit status: 0 success; 1 the payload does not match its digest (inspect,\n"
    "extract) or the product differs (verify); 2 bad usage, or a file that\n"
    "cannot be read, written or used.\n";

constexpr char kPackHelp[] =
    "usage: zorpack pack LAUNCHER PAYLOAD OUTPUT\n"
    "\n"
    "Writes OUTPUT: LAUNCHER (this project's unsigned launcher image,\n"
    "build/bin/launcher.exe), zero padding, PAYLOAD (the update tool: a 32- or\n"
    "64-bit Windows program) and a 48-byte trailer with the payload's size and\n"
    "SHA-256. The file is a multiple of 8 bytes long, so that the trailer still\n"
    "ends exactly at the certificate table once OUTPUT is signed. Sign OUTPUT\n"
    "afterwards, never the launcher before packing.\n"
    "\n"
    "Refused, with nothing written: a LAUNCHER that is not this project's\n"
    "launcher (its manifest names ZOR.FirmwareUpdate.Launcher), is signed or\n"
    "already carries a payload; a PAYLOAD that is a DLL, not a Windows program,\n"
    "the launcher itself or a packed file; a folder instead of a file; an OUTPUT\n"
    "that is an input or lies in a folder that does not exist; a result too\n"
    "long to sign; an input that is not a regular file or changes while it is\n"
    "packed; an existing OUTPUT that is not a regular file (a link, a device, a\n"
    "FIFO) or is another user's file in a sticky folder. OUTPUT cannot be -\n"
    "(standard output): pack reads the packed file back.\n";

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

constexpr char kExtractHelp[] =
    "usage: zorpack extract FILE OUTPUT\n"
    "\n"
    "Writes the payload of FILE to OUTPUT, but only when it matches the digest\n"
    "in its trailer; otherwise nothing is written and the exit status is 1.\n"
    "\n"
    "OUTPUT - writes the payload to standard output as it is read, and no\n"
    "report: a payload that does not match has gone out by the time exit status\n"
    "1 says so, so check the status before using it. A link as OUTPUT (such as\n"
    "/dev/stdout) is refused: use -.\n";

constexpr char kHelpHelp[] =
    "usage: zorpack help [COMMAND]\n"
    "\n"
    "Shows the usage, or the help of one command: pack, inspect, extract,\n"
    "verify, help, version.\n";

constexpr char kVersionHelp[] =
    "usage: zorpack version   (or zorpack --version)\n"
    "\n"
    "Shows the packer's version and the source revision it was built from.\n";

constexpr char kHelpCommand[] = "help";
constexpr char kVersionCommand[] = "version";
constexpr char kHelpOption[] = "--help";
constexpr char kShortHelpOption[] = "-h";
constexpr char kVersionOption[] = "--version";

struct Streams {
  FileHandle out;
  FileHandle err;
};

int Fail(const Streams& streams, int status, const std::string& message) {
  WriteText(streams.err, kErrorPrefix + message + "\n");
  return status;
}

int BadUsage(const Streams& streams, const std::string& message) {
  return Fail(streams, kExitFailure, message + " (zorpack help shows the usage)");
}

bool IsHelpOption(const std::string& argument) {
  return argument == kHelpOption || argument == kShortHelpOption;
}

std::string LocationText(const PayloadLocation& location) {
  return "payload offset: " + std::to_string(location.offset) + "\n" +
         "payload size: " + std::to_string(location.size) + "\n" +
         "payload sha256: " + DigestText(location.digest) + "\n";
}

std::string BoolText(bool value) {
  return value ? "true" : "false";
}

std::string InspectionJson(const Inspection& inspection) {
  uint32_t tableOffset = inspection.hasCertificateTable ? inspection.certificateTableOffset : 0;
  uint32_t tableSize = inspection.hasCertificateTable ? inspection.certificateTableSize : 0;
  return "{\"payload_offset\": " + std::to_string(inspection.location.offset) +
         ", \"payload_size\": " + std::to_string(inspection.location.size) +
         ", \"payload_sha256\": \"" + DigestText(inspection.location.digest) +
         "\", \"computed_sha256\": \"" + DigestText(inspection.computedDigest) +
         "\", \"payload_matches\": " + BoolText(inspection.digestMatches) +
         ", \"certificate_table_offset\": " + std::to_string(tableOffset) +
         ", \"certificate_table_size\": " + std::to_string(tableSize) +
         ", \"launcher_recognised\": " + BoolText(inspection.launcherRecognised) + "}\n";
}

std::string InspectionText(const Inspection& inspection) {
  std::string report = LocationText(inspection.location);
  report += "certificate table: ";
  report += inspection.hasCertificateTable
                ? std::to_string(inspection.certificateTableSize) + " bytes at offset " +
                      std::to_string(inspection.certificateTableOffset)
                : std::string("none");
  report += "\npayload check: ";
  report += inspection.digestMatches
                ? std::string("matches")
                : "MISMATCH, computed sha256 " + DigestText(inspection.computedDigest);
  report += "\nlauncher: ";
  report += inspection.launcherRecognised ? "this project's launcher"
                                          : "NOT this project's launcher image";
  return report + "\n";
}

int Pack(const std::vector<std::string>& files, const Streams& streams) {
  if (files[2] == kStandardOutputName) {
    return BadUsage(streams,
                    "pack cannot write to standard output (it reads the packed file back); name "
                    "a file (./- for one called -)");
  }
  PackedFile packed;
  std::string error;
  if (!PackLauncherFile(files[0], files[1], files[2], &packed, &error)) {
    return Fail(streams, kExitFailure, error);
  }
  WriteText(streams.out, LocationText(packed.payload) +
                             "padding: " + std::to_string(packed.paddingSize) + "\n" +
                             "file size: " + std::to_string(packed.fileSize) + "\n");
  return kExitSuccess;
}

int Inspect(const std::vector<std::string>& files, bool json, const Streams& streams) {
  Inspection inspection;
  std::string error;
  if (!InspectLauncherFile(files[0], &inspection, &error)) {
    return Fail(streams, kExitFailure, error);
  }
  WriteText(streams.out, json ? InspectionJson(inspection) : InspectionText(inspection));
  if (!inspection.launcherRecognised) {
    return Fail(
        streams, kExitFailure,
        "the launcher part of " + Quoted(files[0]) + " is not this project's launcher image");
  }
  if (!inspection.digestMatches) {
    return Fail(streams, kExitDigestMismatch,
                "the payload of " + Quoted(files[0]) + " does not match the digest in its trailer");
  }
  return kExitSuccess;
}

int Extract(const std::vector<std::string>& files, const Streams& streams) {
  PayloadLocation location;
  std::string error;
  bool toStream = files[1] == kStandardOutputName;
  ExtractOutcome outcome = toStream
                               ? ExtractPayloadToStream(files[0], streams.out, &location, &error)
                               : ExtractPayloadFile(files[0], files[1], &location, &error);
  switch (outcome) {
    case ExtractOutcome::kWritten:
      // Standard output carries the payload alone.
      if (!toStream) WriteText(streams.out, LocationText(location));
      return kExitSuccess;
    case ExtractOutcome::kDigestMismatch:
      return Fail(streams, kExitDigestMismatch, error);
    case ExtractOutcome::kFailed:
      break;
  }
  return Fail(streams, kExitFailure, error);
}

int Verify(const std::vector<std::string>& operands, const Streams& streams) {
  VerifyRequest request;
  std::string problem;
  if (!ParseVerifyOperands(operands, &request, &problem)) return BadUsage(streams, problem);
  Verification verification;
  if (!VerifyProductFile(request.launcher, request.product, &verification, &problem)) {
    return Fail(streams, kExitFailure, problem);
  }
  WriteText(streams.out, VerificationReport(verification, request.json));
  const CheckResult* failure = verification.FirstFailure();
  if (failure == nullptr) return kExitSuccess;
  return Fail(streams, kExitProductDiffers,
              Quoted(request.product) +
                  " differs from what the release made: " + failure->difference.field +
                  " at offset " + std::to_string(failure->difference.offset));
}

struct Command {
  const char* name;
  size_t fileCount;
  const char* help;
};

constexpr Command kPack = {"pack", 3, kPackHelp};
constexpr Command kInspect = {"inspect", 1, kInspectHelp};
constexpr Command kExtract = {"extract", 2, kExtractHelp};
// Its operands are parsed by verify itself (ParseVerifyOperands).
constexpr Command kVerify = {"verify", 0, kVerifyHelp};
constexpr Command kHelp = {kHelpCommand, 0, kHelpHelp};
constexpr Command kVersion = {kVersionCommand, 0, kVersionHelp};
constexpr const Command* kCommands[] = {&kPack, &kInspect, &kExtract, &kVerify, &kHelp, &kVersion};

const Command* FindCommand(const std::string& name) {
  for (const Command* command : kCommands) {
    if (name == command->name) return command;
  }
  return nullptr;
}

int ShowVersion(const Streams& streams) {
  WriteText(streams.out, std::string("zorpack ") + kPackerVersion + " (source revision " +
                             kSourceRevision + ")\n");
  return kExitSuccess;
}

int ShowHelp(const std::vector<std::string>& operands, const Streams& streams) {
  if (operands.empty()) {
    WriteText(streams.out, kUsage);
    return kExitSuccess;
  }
  const Command* command = operands.size() == 1 ? FindCommand(operands[0]) : nullptr;
  if (command == nullptr) return BadUsage(streams, "help takes one command name");
  WriteText(streams.out, command->help);
  return kExitSuccess;
}

}  // namespace

int RunZorpack(const std::vector<std::string>& arguments, FileHandle out, FileHandle err) {
  Streams streams{out, err};
  if (arguments.empty()) {
    WriteText(err, kUsage);
    return kExitFailure;
  }
  // -h, --help and --version are the help and version commands by other
  // names, so they take what those commands take.
  const Command* command = FindCommand(arguments[0]);
  if (IsHelpOption(arguments[0])) command = &kHelp;
  if (arguments[0] == kVersionOption) command = &kVersion;
  if (command == nullptr) return BadUsage(streams, "unknown command " + Quoted(arguments[0]));

  std::vector<std::string> operands(arguments.begin() + 1, arguments.end());
  if (command == &kHelp) {
    if (operands.size() == 1 && IsHelpOption(operands[0])) return ShowHelp({kHelpCommand}, streams);
    return ShowHelp(operands, streams);
  }
  // "--" ends the options: what follows are file names, "-h" and "--json"
  // included.
  auto optionsEnd = std::find(operands.begin(), operands.end(), kEndOfOptions);
  for (auto operand = operands.begin(); operand != optionsEnd; ++operand) {
    if (IsHelpOption(*operand)) return ShowHelp({command->name}, streams);
  }
  if (command == &kVerify) return Verify(operands, streams);
  bool json = false;
  std::vector<std::string> files;
  for (auto operand = operands.begin(); operand != operands.end(); ++operand) {
    if (operand == optionsEnd) continue;
    if (command == &kInspect && operand < optionsEnd && *operand == kJsonOption) {
      json = true;
    } else {
      files.push_back(*operand);
    }
  }
  operands = files;
  for (const std::string& file : operands) {
    // An empty OUTPUT would otherwise name a temporary file in the working
    // folder.
    if (file.empty()) return BadUsage(streams, "an empty name is not a file");
  }
  if (operands.size() != command->fileCount) {
    if (command->fileCount == 0) return BadUsage(streams, arguments[0] + " takes no operands");
    return BadUsage(streams, arguments[0] + " takes " + std::to_string(command->fileCount) +
                                 (command->fileCount == 1 ? " file" : " files") + ", not " +
                                 std::to_string(operands.size()));
  }
  if (command == &kVersion) return ShowVersion(streams);
  if (command == &kPack) return Pack(operands, streams);
  if (command == &kInspect) return Inspect(operands, json, streams);
  return Extract(operands, streams);
}

}  // namespace zor::pack
