#include "zorpack_command.h"

#include "common/hex_lower.h"
#include "console_text.h"
#include "packer.h"
#include "payload/payload_trailer.h"

namespace zor::pack {

namespace {

constexpr wchar_t kErrorPrefix[] = L"zorpack: ";

constexpr wchar_t kUsage[] =
    L"usage: zorpack pack LAUNCHER PAYLOAD OUTPUT\n"
    L"       zorpack inspect FILE\n"
    L"       zorpack extract FILE OUTPUT\n"
    L"       zorpack --help\n"
    L"\n"
    L"  pack     write OUTPUT: the unsigned LAUNCHER image, zero padding, PAYLOAD (a\n"
    L"           Windows executable) and a trailer with its size and SHA-256. The\n"
    L"           file's length is a multiple of 8, so it can be signed afterwards.\n"
    L"  inspect  show the payload's offset, size and SHA-256, whether a certificate\n"
    L"           table follows the trailer, and whether the payload matches its digest.\n"
    L"  extract  write the payload to OUTPUT, only when it matches its digest.\n"
    L"\n"
    L"OUTPUT appears only when complete; an existing OUTPUT is replaced.\n"
    L"Exit status: 0 success; 1 the payload does not match its digest (inspect,\n"
    L"extract); 2 bad usage, or a file that cannot be read, written or used.\n";

constexpr wchar_t kHelpOption[] = L"--help";
constexpr wchar_t kShortHelpOption[] = L"-h";
constexpr wchar_t kPackCommand[] = L"pack";
constexpr wchar_t kInspectCommand[] = L"inspect";
constexpr wchar_t kExtractCommand[] = L"extract";

struct Streams {
  HANDLE out;
  HANDLE err;
};

int Fail(const Streams& streams, int status, const std::wstring& message) {
  WriteText(streams.err, kErrorPrefix + message + L"\n");
  return status;
}

int BadUsage(const Streams& streams, const std::wstring& message) {
  return Fail(streams, kExitFailure, message + L" (zorpack --help shows the usage)");
}

std::wstring DigestText(const Sha256Digest& digest) {
  WideString hex = HexLower(digest.bytes, kSha256DigestSize);
  return std::wstring(hex.Data(), hex.Length());
}

std::wstring LocationText(const PayloadLocation& location) {
  return L"payload offset: " + std::to_wstring(location.offset) + L"\n" + L"payload size: " +
         std::to_wstring(location.size) + L"\n" + L"payload sha256: " +
         DigestText(location.digest) + L"\n";
}

int Pack(const std::vector<std::wstring>& args, const Streams& streams) {
  PackedFile packed;
  std::wstring error;
  if (!PackLauncherFile(args[1], args[2], args[3], &packed, &error)) {
    return Fail(streams, kExitFailure, error);
  }
  WriteText(streams.out, LocationText(packed.payload) + L"padding: " +
                             std::to_wstring(packed.paddingSize) + L"\n" + L"file size: " +
                             std::to_wstring(packed.fileSize) + L"\n");
  return kExitSuccess;
}

int Inspect(const std::vector<std::wstring>& args, const Streams& streams) {
  Inspection inspection;
  std::wstring error;
  if (!InspectLauncherFile(args[1], &inspection, &error)) {
    return Fail(streams, kExitFailure, error);
  }
  std::wstring report = LocationText(inspection.location);
  report += L"certificate table: ";
  report += inspection.hasCertificateTable
                ? std::to_wstring(inspection.certificateTableSize) + L" bytes at offset " +
                      std::to_wstring(inspection.certificateTableOffset)
                : std::wstring(L"none");
  report += L"\npayload check: ";
  report += inspection.digestMatches
                ? std::wstring(L"matches")
                : L"MISMATCH, computed sha256 " + DigestText(inspection.computedDigest);
  WriteText(streams.out, report + L"\n");
  if (!inspection.digestMatches) {
    return Fail(streams, kExitDigestMismatch,
                L"the payload of '" + args[1] + L"' does not match the digest in its trailer");
  }
  return kExitSuccess;
}

int Extract(const std::vector<std::wstring>& args, const Streams& streams) {
  PayloadLocation location;
  std::wstring error;
  switch (ExtractPayloadFile(args[1], args[2], &location, &error)) {
    case ExtractOutcome::kWritten:
      WriteText(streams.out, LocationText(location));
      return kExitSuccess;
    case ExtractOutcome::kDigestMismatch:
      return Fail(streams, kExitDigestMismatch, error);
    case ExtractOutcome::kFailed:
      break;
  }
  return Fail(streams, kExitFailure, error);
}

struct Command {
  const wchar_t* name;
  size_t operandCount;
  int (*run)(const std::vector<std::wstring>&, const Streams&);
};

constexpr Command kCommands[] = {
    {kPackCommand, 3, Pack},
    {kInspectCommand, 1, Inspect},
    {kExtractCommand, 2, Extract},
};

}  // namespace

int RunZorpack(const std::vector<std::wstring>& arguments, HANDLE out, HANDLE err) {
  Streams streams{out, err};
  if (arguments.empty()) {
    WriteText(err, kUsage);
    return kExitFailure;
  }
  if (arguments[0] == kHelpOption || arguments[0] == kShortHelpOption) {
    WriteText(out, kUsage);
    return kExitSuccess;
  }
  for (const Command& command : kCommands) {
    if (arguments[0] != command.name) continue;
    if (arguments.size() != command.operandCount + 1) {
      return BadUsage(streams, arguments[0] + L" takes " + std::to_wstring(command.operandCount) +
                                   (command.operandCount == 1 ? L" file" : L" files") + L", not " +
                                   std::to_wstring(arguments.size() - 1));
    }
    return command.run(arguments, streams);
  }
  return BadUsage(streams, L"unknown command '" + arguments[0] + L"'");
}

}  // namespace zor::pack
