#include "zorpack_command.h"

#include <algorithm>

#include "pack_platform.h"
#include "pack_text.h"
#include "packer.h"
#include "pending_output.h"
#include "report_json.h"
#include "sbom.h"
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
    "  sbom     write a CycloneDX 1.6 JSON SBOM of PRODUCT (launcher, payload and\n"
    "           what the payload's own SBOM lists) to OUTPUT or standard output,\n"
    "           when PRODUCT verifies against LAUNCHER.\n"
    "\n"
    "OUTPUT appears only when complete; an existing OUTPUT is replaced only when\n"
    "it is a regular file (not a link, nor another user's file in a sticky\n"
    "folder); your own keeps its access less group or other write permission\n"
    "that a new file would not get. extract and sbom write to standard output\n"
    "when OUTPUT is -. -- ends the options.\n"
    "Exit status: 0 success; 1 the payload does not match its digest (inspect,\n"
    "extract) or the product differs (verify, sbom); 2 bad usage, or a file\n"
    "that cannot be read, written or used.\n";
#ifdef _WIN32
// Under Wine this build sees Unix links as their targets and modes as
// attributes; the native packer does not.
constexpr char kPlatformNote[] =
    "\nOn Linux use the native zorpack: under Wine, zorpack.exe sees a link as\n"
    "its target and file modes as Windows attributes.\n";
#else
constexpr char kPlatformNote[] = "";
#endif

constexpr char kPackHelp[] =
    "usage: zorpack pack LAUNCHER PAYLOAD OUTPUT\n"
    "\n"
    "Writes OUTPUT: LAUNCHER (this project's unsigned launcher image: the\n"
    "release kit's share/zor/launcher.exe, the Debian package's\n"
    "/usr/share/zor/launcher.exe, or build/bin/launcher.exe in a build of the\n"
    "sources), zero padding, PAYLOAD (the update tool: a 32- or 64-bit Windows\n"
    "program) and a 48-byte trailer with the payload's size and SHA-256. The\n"
    "file is a multiple of 8 bytes long, so that the trailer still ends exactly\n"
    "at the certificate table once OUTPUT is signed. Sign OUTPUT afterwards,\n"
    "never the launcher before packing.\n"
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

constexpr char kSbomHelp[] =
    "usage: zorpack sbom --launcher LAUNCHER [OPTION...] PRODUCT [OUTPUT]\n"
    "\n"
    "Writes a CycloneDX 1.6 JSON SBOM of PRODUCT (signed or not) to OUTPUT, or\n"
    "to standard output when OUTPUT is - or not given. PRODUCT must first pass\n"
    "every check of zorpack verify against LAUNCHER. Make it from the signed\n"
    "product: signing changes the product's hashes.\n"
    "  --name NAME             the product (default: PRODUCT's file name\n"
    "                          without .exe)\n"
    "  --version VERSION       the product's version (default: none)\n"
    "  --supplier NAME         the product's supplier (default: none)\n"
    "  --payload-name NAME     the payload (default: payload, or its SBOM's name)\n"
    "  --payload-version VERSION  the payload's version\n"
    "  --payload-sbom FILE     the payload's own CycloneDX JSON SBOM (1.4 to 1.6):\n"
    "                          its main component becomes the payload component,\n"
    "                          its components are nested under it and its\n"
    "                          dependencies carried over, every bom-ref in it\n"
    "                          renamed payload or payload/REF. A SHA-256 or\n"
    "                          SHA-512 it gives for its main component must be\n"
    "                          the payload's; hashes of other algorithms are\n"
    "                          left out.\n"
    "\n"
    "The document: metadata.component is the product (type application,\n"
    "bom-ref product) with the SHA-256 and SHA-512 of PRODUCT and the\n"
    "properties zor:signed (true or false), zor:payload_offset,\n"
    "zor:payload_size and zor:certificate_table_size (0 unsigned); components\n"
    "are the launcher (zor-firmware-update-launcher, this release's version,\n"
    "property zor:source_revision, the SHA-256 and SHA-512 of LAUNCHER) and the\n"
    "payload (the SHA-256 in its trailer, checked, and its SHA-512);\n"
    "dependencies: the product on both, the payload on what its SBOM says.\n"
    "metadata.tools names zorpack, its version and source revision. The time\n"
    "stamp is SOURCE_DATE_EPOCH when set, else the current time; the\n"
    "serialNumber (a version-8 UUID) comes from the SHA-256 of the rest of the\n"
    "document: the same inputs give the same bytes. Control, invisible and\n"
    "direction characters in strings are written as \\uNNNN. No path, user or\n"
    "machine name is written.\n"
    "\n"
    "Exit status: 0 written; 1 PRODUCT differs from what the release made (the\n"
    "first difference as verify names it) or the payload SBOM's hash is not\n"
    "the payload's (naming the algorithm); 2 bad usage, a file that cannot be\n"
    "read or written, or a payload SBOM that is not JSON (its line and column\n"
    "named), not CycloneDX 1.4 to 1.6, nested more than 64 levels deep,\n"
    "larger than 16 MiB, holding what the merge cannot carry over (services,\n"
    "compositions, vulnerabilities, a component's evidence, ...) or a value of\n"
    "another type than CycloneDX 1.6 gives it, or that would break the\n"
    "document (a bom-ref twice, a dependency on nothing it lists); the element\n"
    "is named. Nothing is written unless the status is 0.\n";

constexpr char kHelpHelp[] =
    "usage: zorpack help [COMMAND]\n"
    "\n"
    "Shows the usage, or the help of one command: pack, inspect, extract,\n"
    "verify, sbom, help, version.\n";

constexpr char kVersionHelp[] =
    "usage: zorpack version   (or zorpack --version)\n"
    "\n"
    "Shows the packer's version and the source revision it was built from.\n";

constexpr char kHelpCommand[] = "help";
constexpr char kVersionCommand[] = "version";
constexpr char kHelpOption[] = "--help";
constexpr char kShortHelpOption[] = "-h";
constexpr char kVersionOption[] = "--version";
constexpr char kJsonOption[] = "--json";
constexpr char kLauncherOption[] = "--launcher";
// Ends the options: what follows are files, even "-h" or "--json".
constexpr char kEndOfOptions[] = "--";

struct Streams {
  FileHandle out;
  FileHandle err;
};

// One command line, its options parsed.
struct Request {
  std::vector<std::string> operands;  // files, or help's command name
  bool json = false;
  // verify's and sbom's --launcher, and sbom's other options.
  SbomRequest sbom;
};

int Fail(const Streams& streams, int status, const std::string& message) {
  WriteText(streams.err, kErrorPrefix + message + "\n");
  return status;
}

int BadUsage(const Streams& streams, const std::string& message) {
  return Fail(streams, kExitFailure, message + " (zorpack help shows the usage)");
}

// Writes the report; false, with the reason in `error`, when it cannot be
// written (a full disk, a closed descriptor): a caller must not take a lost
// report for a good one.
bool WriteReport(const Streams& streams, const std::string& report, std::string* error) {
  if (WriteText(streams.out, report)) return true;
  std::string reason = LastFailureText();
  *error = "cannot write to standard output" + (reason.empty() ? "" : ": " + reason);
  return false;
}

// Writes the report, then fails with `problem` if there is one.
int Report(const Streams& streams, const std::string& report, int status = kExitSuccess,
           const std::string& problem = "") {
  std::string error;
  if (!WriteReport(streams, report, &error)) return Fail(streams, kExitFailure, error);
  return problem.empty() ? status : Fail(streams, status, problem);
}

// Writes the report of an output that waits in `out`, and only then puts
// the output in place: when the report is lost, the output keeps what it
// held, as on every other failure.
int ReportAndCommit(const Streams& streams, const std::string& report, PendingOutput* out) {
  std::string error;
  if (!WriteReport(streams, report, &error)) {
    error += "; the output was left as it was";
    out->Discard(&error);
    return Fail(streams, kExitFailure, error);
  }
  return CommitOutput(out, &error) ? kExitSuccess : Fail(streams, kExitFailure, error);
}

bool IsHelpOption(const std::string& argument) {
  return argument == kHelpOption || argument == kShortHelpOption;
}

std::string LocationText(const PayloadLocation& location) {
  return "payload offset: " + std::to_string(location.offset) + "\n" +
         "payload size: " + std::to_string(location.size) + "\n" +
         "payload sha256: " + DigestText(location.digest) + "\n";
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
  return LocationText(inspection.location) + "certificate table: " + table +
         "\npayload check: " + check + "\nlauncher: " +
         (inspection.launcherRecognised ? "this project's launcher"
                                        : "NOT this project's launcher image") +
         "\n";
}

int Pack(const Request& request, const Streams& streams) {
  const std::vector<std::string>& files = request.operands;
  if (files[2] == kStandardStreamName) {
    return BadUsage(streams,
                    "pack cannot write to standard output (it reads the packed file back); name "
                    "a file (./- for one called -)");
  }
  PackedFile packed;
  std::string error;
  PendingOutput out;
  if (!PackIntoOutput(files[0], files[1], files[2], &out, &packed, &error)) {
    out.Discard(&error);
    return Fail(streams, kExitFailure, error);
  }
  return ReportAndCommit(streams,
                         LocationText(packed.payload) +
                             "padding: " + std::to_string(packed.paddingSize) + "\n" +
                             "file size: " + std::to_string(packed.fileSize) + "\n",
                         &out);
}

int Inspect(const Request& request, const Streams& streams) {
  const std::string& file = request.operands[0];
  Inspection inspection;
  std::string error;
  if (!InspectLauncherFile(file, &inspection, &error)) return Fail(streams, kExitFailure, error);
  std::string report = request.json ? InspectionJson(inspection) : InspectionText(inspection);
  if (!inspection.launcherRecognised) {
    return Report(streams, report, kExitFailure,
                  "the launcher part of " + Quoted(file) + " is not this project's launcher image");
  }
  if (!inspection.digestMatches) {
    return Report(streams, report, kExitDigestMismatch,
                  "the payload of " + Quoted(file) + " does not match the digest in its trailer");
  }
  return Report(streams, report);
}

int Extract(const Request& request, const Streams& streams) {
  PayloadLocation location;
  std::string error;
  const std::vector<std::string>& files = request.operands;
  bool toStream = files[1] == kStandardStreamName;
  PendingOutput out;
  ExtractOutcome outcome = toStream
                               ? ExtractPayloadToStream(files[0], streams.out, &location, &error)
                               : ExtractIntoOutput(files[0], files[1], &out, &location, &error);
  if (outcome != ExtractOutcome::kWritten) out.Discard(&error);
  if (outcome == ExtractOutcome::kDigestMismatch) return Fail(streams, kExitDigestMismatch, error);
  if (outcome != ExtractOutcome::kWritten) return Fail(streams, kExitFailure, error);
  // Standard output carries the payload alone.
  return toStream ? kExitSuccess : ReportAndCommit(streams, LocationText(location), &out);
}

int Verify(const Request& request, const Streams& streams) {
  const std::string& product = request.operands[0];
  Verification verification;
  std::string error;
  if (!VerifyProductFile(request.sbom.launcher, product, &verification, &error)) {
    return Fail(streams, kExitFailure, error);
  }
  std::string report = VerificationReport(verification, request.json);
  const CheckResult* failure = verification.FirstFailure();
  if (failure == nullptr) return Report(streams, report);
  return Report(streams, report, kExitProductDiffers,
                Quoted(product) +
                    " differs from what the release made: " + failure->difference.field +
                    " at offset " + std::to_string(failure->difference.offset));
}

// The document goes to standard output, or to a file that appears only once
// it is complete and is none of `inputs`.
int WriteDocument(const Streams& streams, const std::string& output, const std::string& document,
                  const std::vector<FileHandle>& inputs) {
  if (output == kStandardStreamName) return Report(streams, document);
  PendingOutput out;
  std::string error;
  if (out.Create(output, &error, inputs) &&
      !WriteAll(out.Handle(), document.data(), static_cast<uint32_t>(document.size()))) {
    error = "cannot write " + DescribeFailure(output);
  } else if (error.empty() && CommitOutput(&out, &error)) {
    return kExitSuccess;
  }
  out.Discard(&error);
  return Fail(streams, kExitFailure, error);
}

int Sbom(const Request& request, const Streams& streams) {
  SbomRequest sbom = request.sbom;
  sbom.product = request.operands[0];
  std::string output = request.operands.size() > 1 ? request.operands[1] : kStandardStreamName;
  // Held open, so that the output is refused when it is one of them, by
  // identity rather than by path.
  const std::pair<const std::string*, const char*> named[] = {
      {&sbom.launcher, kLauncherRole},
      {&sbom.product, kProductRole},
      {&sbom.payloadSbom, kPayloadSbomRole}};
  std::vector<UniqueFile> inputs;
  std::vector<FileHandle> handles;
  std::string error;
  for (const auto& [path, role] : named) {
    if (path->empty()) continue;
    inputs.emplace_back();
    if (!OpenInput(*path, role, &inputs.back(), &error)) return Fail(streams, kExitFailure, error);
    handles.push_back(inputs.back().Get());
  }
  std::string document;
  switch (MakeSbom(sbom, &document, &error)) {
    case SbomOutcome::kMade:
      return WriteDocument(streams, output, document, handles);
    case SbomOutcome::kDiffers:
      return Fail(streams, kExitProductDiffers, error);
    case SbomOutcome::kFailed:
      break;
  }
  return Fail(streams, kExitFailure, error);
}

int ShowVersion(const Request&, const Streams& streams) {
  return Report(streams, std::string("zorpack ") + kPackerVersion + " (source revision " +
                             kSourceRevision + ")\n");
}

int ShowHelp(const Request& request, const Streams& streams);

// The options that a command takes besides -h and --help.
constexpr unsigned kTakesJson = 1;
constexpr unsigned kTakesLauncher = 2;  // and needs it
constexpr unsigned kTakesSbomOptions = 4;
// The command checks its operands itself.
constexpr size_t kAnyOperands = SIZE_MAX;

// An option followed by its value, which goes to a field of SbomRequest.
struct ValueOption {
  const char* name;
  unsigned takenWith;  // the command's option bit
  std::string SbomRequest::*field;
};

constexpr ValueOption kValueOptions[] = {
    {kLauncherOption, kTakesLauncher, &SbomRequest::launcher},
    {"--name", kTakesSbomOptions, &SbomRequest::name},
    {"--version", kTakesSbomOptions, &SbomRequest::version},
    {"--supplier", kTakesSbomOptions, &SbomRequest::supplier},
    {"--payload-name", kTakesSbomOptions, &SbomRequest::payloadName},
    {"--payload-version", kTakesSbomOptions, &SbomRequest::payloadVersion},
    {"--payload-sbom", kTakesSbomOptions, &SbomRequest::payloadSbom},
};

struct Command {
  const char* name;
  const char* help;
  int (*run)(const Request& request, const Streams& streams);
  size_t fileCount;
  unsigned options;
  size_t optionalFileCount = 0;  // more files it may take
};

constexpr Command kCommands[] = {
    {"pack", kPackHelp, Pack, 3, 0},
    {"inspect", kInspectHelp, Inspect, 1, kTakesJson},
    {"extract", kExtractHelp, Extract, 2, 0},
    {"verify", kVerifyHelp, Verify, 1, kTakesJson | kTakesLauncher},
    {"sbom", kSbomHelp, Sbom, 1, kTakesLauncher | kTakesSbomOptions, 1},
    {kHelpCommand, kHelpHelp, ShowHelp, kAnyOperands, 0},
    {kVersionCommand, kVersionHelp, ShowVersion, 0, 0},
};

const ValueOption* FindValueOption(const Command& command, const std::string& argument) {
  for (const ValueOption& option : kValueOptions) {
    if ((command.options & option.takenWith) != 0 && argument == option.name) return &option;
  }
  return nullptr;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

int ShowHelp(const Request& request, const Streams& streams) {
  const std::vector<std::string>& names = request.operands;
  const Command* command = names.size() == 1 ? FindCommand(names[0]) : nullptr;
  if (names.size() > 1) return BadUsage(streams, "help takes one command name");
  if (!names.empty() && command == nullptr) {
    return BadUsage(streams, "help: unknown command " + Quoted(names[0]) +
                                 " (pack, inspect, extract, verify, help, version)");
  }
  return Report(streams, command != nullptr ? command->help : std::string(kUsage) + kPlatformNote);
}

// The one option parser. Before "--", an argument that starts with '-' must
// be an option of the command ("-" alone is an operand: standard output or
// input); after it, every argument is an operand.
bool ParseRequest(const Command& command, const std::vector<std::string>& arguments,
                  Request* request, std::string* problem) {
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      request->operands.push_back(argument);
    } else if (argument == kEndOfOptions) {
      optionsEnded = true;
    } else if ((command.options & kTakesJson) != 0 && argument == kJsonOption) {
      request->json = true;
    } else if (const ValueOption* option = FindValueOption(command, argument)) {
      std::string& value = request->sbom.*option->field;
      if (!value.empty() || i + 1 == arguments.size() || arguments[i + 1].empty()) {
        *problem = std::string(command.name) + " takes " + option->name +
                   " once, followed by a value that is not empty";
        return false;
      }
      value = arguments[++i];
    } else {
      *problem = std::string(command.name) + " has no option " + Quoted(argument);
      return false;
    }
  }
  if ((command.options & kTakesLauncher) != 0 && request->sbom.launcher.empty()) {
    *problem =
        std::string(command.name) + " needs --launcher LAUNCHER, the released launcher image";
    return false;
  }
  if (command.fileCount == kAnyOperands) return true;
  for (const std::string& file : request->operands) {
    // An empty OUTPUT would otherwise name a temporary file in the working
    // folder.
    if (file.empty()) {
      *problem = "an empty name is not a file";
      return false;
    }
  }
  size_t count = request->operands.size();
  size_t most = command.fileCount + command.optionalFileCount;
  if (count >= command.fileCount && count <= most) return true;
  *problem = std::string(command.name) + " takes " + std::to_string(command.fileCount) +
             (most != command.fileCount ? " or " + std::to_string(most) : "") +
             (most == 1 ? " file" : " files") + ", not " + std::to_string(count);
  return false;
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
  const Command* command = FindCommand(IsHelpOption(arguments[0])       ? kHelpCommand
                                       : arguments[0] == kVersionOption ? kVersionCommand
                                                                        : arguments[0]);
  if (command == nullptr) return BadUsage(streams, "unknown command " + Quoted(arguments[0]));
  std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  // -h or --help among the options shows the command's help, whatever else
  // is there.
  if (std::any_of(rest.begin(), std::find(rest.begin(), rest.end(), kEndOfOptions), IsHelpOption)) {
    return Report(streams, command->help);
  }
  Request request;
  std::string problem;
  if (!ParseRequest(*command, rest, &request, &problem)) return BadUsage(streams, problem);
  return command->run(request, streams);
}

}  // namespace zor::pack
